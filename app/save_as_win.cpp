// Save As: the Save dialog, the copy-or-convert decision and its report.
// The writing pumps messages between pieces and shows its progress in the
// main window's title; Esc or closing the window cancels it.
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "app/resource.h"
#include "app/text_view.h"
#include "app/ui_text.h"
#include "core/fill_in.h"
#include "core/platform.h"
#include "core/win_string.h"
#include "output/convert.h"
#include "output/save_lines.h"

namespace {

constexpr size_t SaveNameUnits = 260;

// The proposal: the path cut at its last dot. A path that does not fit the
// buffer is proposed by its file name alone.
void ProposeName(const std::u16string& path, wchar_t* buffer) {
    std::u16string name = path;
    if (name.size() >= SaveNameUnits) {
        size_t slash = name.find_last_of(u"\\/");
        if (slash != std::u16string::npos) name.erase(0, slash + 1);
        if (name.size() >= SaveNameUnits) name.resize(SaveNameUnits - 1);
    }
    std::memcpy(buffer, name.data(), name.size() * sizeof(wchar_t));
    buffer[name.size()] = 0;
    if (wchar_t* dot = wcsrchr(buffer, L'.')) *dot = 0;
}

// The encoding the file has after it was written as target with or without a mark.
Encoding EncodingWritten(Encoding target, bool mark) {
    if (target == Encoding::Utf8Bom || target == Encoding::Utf8) return mark ? Encoding::Utf8Bom : Encoding::Utf8;
    return target;
}

// Runs a Save As as the running job while it writes (or within the running
// one, when called from it): the commands that would disturb it are
// refused, Esc and closing the window cancel it, and the title shows the
// share written, as often as the open shows its own.
class SaveRun {
public:
    explicit SaveRun(TextView& v) : v_(v), scope_(v.jobs, Job::Save) {}
    SaveRun(const SaveRun&) = delete;
    SaveRun& operator=(const SaveRun&) = delete;

    bool Progress(int64_t done, int64_t total) {
        const int64_t pct = total > 0 ? std::min(done, total) * 100 / total : 100;
        if (pct != noted_ && v_.jobs.ProgressDue(noted_ < 0)) {
            noted_ = static_cast<int32_t>(pct);
            v_.SetMainTitle(UiText(IDS_SAVE_PROGRESS, {v_.titleText, DecimalText(static_cast<uint64_t>(pct))}));
            v_.jobs.ProgressShown();
        }
        v_.jobs.Pump();
        return !v_.jobs.cancel;
    }
    ConvertProgress Hook() {
        return [this](int64_t done, int64_t total) { return Progress(done, total); };
    }
    // The writing is over: the title returns, other commands work again,
    // and saveCancelled tells whether it was cancelled.
    void End() {
        if (ended_) return;
        ended_ = true;
        v_.saveCancelled = v_.jobs.cancel;
        scope_.End();
        if (noted_ >= 0) v_.SetMainTitle(v_.titleText);
        noted_ = -1;
    }
    ~SaveRun() { End(); }

private:
    TextView& v_;
    JobRunner::Scope scope_;
    int32_t noted_ = -1;
    bool ended_ = false;
};

// The file copied as it is, through a temporary file beside the target, in
// pieces between which the hook runs.
bool CopyInPieces(const std::u16string& from, const std::u16string& to, const ConvertProgress& progress) {
    FileStream in;
    if (!in.Open(from, "rb")) return false;
    const int64_t total = in.Seek(0, SEEK_END) ? in.Tell() : -1;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[ProgressStepBytes]);
    if (total < 0 || !in.Seek(0) || !buffer) return false;
    return WriteThroughTemporary(to, [&](FileStream& out) {
        bool ok = progress(0, total);
        for (int64_t done = 0; ok;) {
            const size_t got = in.Read(buffer.get(), ProgressStepBytes);
            if (got == 0) break;
            ok = out.Write(buffer.get(), got) == got;
            done += static_cast<int64_t>(got);
            ok = ok && progress(done, total);
        }
        return ok;
    });
}

// The Save dialog titled by string `caption`, proposing the open file's
// name; false when the user cancels.
bool AskSaveName(TextView& v, UINT caption, wchar_t (&name)[SaveNameUnits]) {
    ProposeName(v.filePath, name);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = v.pane.hwnd;
    const std::wstring filter = UiFilter(IDS_SAVE_FILTER);
    const std::u16string title = UiText(caption);
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name;
    ofn.nMaxFile = SaveNameUnits;
    ofn.lpstrTitle = W(title);
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    ofn.lpstrDefExt = L"tvd";
    return GetSaveFileNameW(&ofn) != FALSE;
}

}  // namespace

void TextView::SaveAs() {
    // Like the other document commands: nothing until a file is open and
    // indexed, and nothing while another job runs.
    if (filePath.empty() || JobRunning() || !document.file.IsOpen()) return;
    wchar_t name[SaveNameUnits] = {};
    if (!AskSaveName(*this, IDS_SAVE_CAPTION, name)) return;

    saveCancelled = false;
    bool ok = SaveCopy(U16(name));
    const UINT text = ok ? IDS_SAVE_DONE : saveCancelled ? IDS_SAVE_CANCELLED : IDS_SAVE_FAILED;
    MessageBoxW(pane.hwnd, W(UiText(text)), W(UiText(IDS_SAVE_BOX_CAPTION)), MB_OK);
}

bool TextView::SaveCopy(const std::u16string& target) {
    try {
        return SaveCopyOrThrow(target);
    } catch (const std::bad_alloc&) {
        return false;  // out of memory: reported as any failed save
    }
}

bool TextView::SaveCopyOrThrow(const std::u16string& target) {
    const Encoding source = document.detectedEncoding;
    const Encoding wanted = saveEncoding;
    const bool mark = writeBom;
    const bool sourceMark = document.hasMark;  // from the bytes: a forced re-open may have none
    const bool sameEncoding =
        wanted == source || (wanted == Encoding::Utf8Bom && source == Encoding::Utf8);

    if (target == filePath && sameEncoding && mark == sourceMark) return true;

    // Another name for the open file (another spelling, a hard or symbolic
    // link) is the open file: copying it onto itself would empty it. A
    // conversion replaces the file under the name chosen, its symbolic links
    // resolved so that they stay links, and re-opens the document, so that
    // the view shows what its name holds now.
    const bool ontoSource = target == filePath || SameFile(filePath, target);
    if (ontoSource && sameEncoding && mark == sourceMark) return true;

    // A running job (a print, a scan) reads the open file between its messages.
    if (ontoSource && JobRunning()) return false;
    SaveRun run(*this);
    if (wanted != source || mark != sourceMark) {
        if (!ontoSource) return ConvertDocument(document, target, mark, wanted, false, MaxBlockBytes, run.Hook());
        const std::u16string written = FinalPath(target);
        if (written.empty()) return false;
        const Encoding viewed = document.encoding;
        bool ok = ConvertDocument(document, written, mark, wanted, true, MaxBlockBytes, run.Hook());
        run.End();
        if (!document.file.IsOpen()) {
            // The read stream was closed for the replacement: index the file
            // again, as written unless another name of a hard link was.
            OpenDocument(filePath, ok && SameFile(filePath, written) ? EncodingWritten(wanted, mark) : viewed);
            saveEncoding = wanted;
            writeBom = mark;
            RefreshEncodingMenu();
            InvalidateRect(pane.hwnd, nullptr, FALSE);
        }
        return ok;
    }
    return CopyInPieces(filePath, target, run.Hook());
}

void TextView::SaveListedCommand() {
    if (!listShown || filePath.empty() || JobRunning() || !document.file.IsOpen()) return;
    wchar_t name[SaveNameUnits] = {};
    if (!AskSaveName(*this, IDS_SAVE_LISTED_CAPTION, name)) return;
    saveCancelled = false;
    bool ok;
    {
        SaveRun run(*this);
        try {
            ok = SaveListedLines(document, filePath, listed, U16(name), run.Hook());
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    const UINT text = ok ? IDS_SAVE_DONE : saveCancelled ? IDS_SAVE_CANCELLED : IDS_SAVE_FAILED;
    MessageBoxW(pane.hwnd, W(UiText(text)), W(UiText(IDS_SAVE_LISTED_BOX)), MB_OK);
}
