// Following the end of the open file (File > 跟踪文件末尾, Ctrl+T): a timer
// looks at the file four times a second and takes in what changed, as F5
// does, without a key press. Appended bytes are scanned alone; a file
// truncated, rewritten or replaced under its name (a rotation) is read again
// from its start under the same name. A name that holds no file is said in
// the title until a file comes back. Any job pauses following.
#include "app/resource.h"
#include "app/text_view.h"
#include "app/ui_text.h"

namespace {

constexpr UINT_PTR FollowTimer = 1;
constexpr UINT FollowMs = 250;

// The title of the open file, with the mark while its name holds no file.
std::u16string FileTitle(const std::u16string& path, bool gone) {
    return UiText(gone ? IDS_FILE_GONE_TITLE : IDS_FILE_TITLE, {path, UiText(IDS_PRODUCT_TITLE, {MakerSite})});
}

void MarkGone(TextView& v, bool gone) {
    if (v.fileGone == gone) return;
    v.fileGone = gone;
    v.titleText = FileTitle(v.filePath, gone);
    if (!v.JobRunning()) v.SetMainTitle(v.titleText);
}

}  // namespace

void TextView::ToggleFollow() {
    following = !following;
    CheckMenuItem(GetMenu(mainWindow), IDM_FOLLOW, MF_BYCOMMAND | (following ? MF_CHECKED : MF_UNCHECKED));
    follow.Reset();
    if (!following) {
        KillTimer(mainWindow, FollowTimer);
        MarkGone(*this, false);
        return;
    }
    SetTimer(mainWindow, FollowTimer, FollowMs, nullptr);
    FollowTick();
}

void TextView::FollowTick() {
    if (!following || JobRunning() || filePath.empty()) return;
    const FileChange change = follow.Check(document, filePath);
    if (change == FileChange::Vanished) {
        MarkGone(*this, true);
        return;
    }
    if (change == FileChange::Unchanged) return;
    MarkGone(*this, false);
    // A reload goes on from the indexed end when the file only grew and
    // reads it afresh otherwise; a document whose file could not be read
    // again is opened anew.
    const bool ok = document.file.IsOpen() ? ReloadDocument() : OpenDocument(filePath, Encoding::None);
    if (ok) {
        follow.Reset();
        RefreshEncodingMenu();
    } else {
        // Unreadable (held by a program that shares no reading, say): tried
        // again when the file changes, not at every look.
        MarkGone(*this, true);
    }
}
