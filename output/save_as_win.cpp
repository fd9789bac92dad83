// Save As: the Save dialog, the copy-or-convert decision and its report.
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "core/platform.h"
#include "core/win_string.h"
#include "output/convert.h"
#include "view/text_view.h"

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

}  // namespace

void TextView::SaveAs() {
    // Like the other document commands: nothing until a file is open and indexed.
    if (filePath.empty() || scanRunning || !document.file.IsOpen()) return;
    wchar_t name[SaveNameUnits] = {};
    ProposeName(filePath, name);

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = hwnd;
    ofn.lpstrFilter = L"txt文件\0*.txt\0csv文件\0*.csv\0log文件\0*.log\0data文件\0*.data\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name;
    ofn.nMaxFile = SaveNameUnits;
    ofn.lpstrTitle = L"保存到";
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    ofn.lpstrDefExt = L"tvd";
    if (!GetSaveFileNameW(&ofn)) return;

    bool ok = SaveCopy(U16(name));
    MessageBoxW(hwnd, ok ? L"保存成功！" : L"保存失败！", L"文件另存", MB_OK);
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
    // link) is the open file: copying it onto itself would empty it, and a
    // conversion replaces the file under the document's own name and
    // re-opens it, so that the view shows what was written.
    const bool ontoSource = target == filePath || SameFile(filePath, target);
    if (ontoSource && sameEncoding && mark == sourceMark) return true;

    if (wanted != source || mark != sourceMark) {
        if (!ontoSource) return document.ConvertToFile(target, mark, wanted);
        // A running print or scan reads this file between its messages.
        if (printRunning || scanRunning) return false;
        const Encoding viewed = document.encoding;
        bool ok = ConvertDocument(document, filePath, mark, wanted, true);
        if (!document.file.IsOpen()) {
            // The read stream was closed for the replacement: index the file again.
            OpenDocument(filePath, ok ? EncodingWritten(wanted, mark) : viewed);
            saveEncoding = wanted;
            writeBom = mark;
            RefreshEncodingMenu();
            InvalidateRect(hwnd, nullptr, FALSE);
        }
        return ok;
    }
    return platform::CopyFileReplace(filePath, target);
}
