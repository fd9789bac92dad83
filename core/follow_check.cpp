#include "core/follow_check.h"

#include "core/text_document.h"

FileChange FollowCheck::Check(TextDocument& doc, const std::u16string& path) {
    FileProbe now;
    if (!ProbeFile(path, now)) {
        known_ = false;
        return FileChange::Vanished;
    }
    const bool same = known_ && now == last_;
    last_ = now;
    known_ = true;
    if (same) return FileChange::Unchanged;
    FileIdentity open;
    if (!doc.file.IsOpen() || !doc.file.Identity(open) || open != now.identity || !doc.scanEnd.valid ||
        doc.scanEnd.identity != now.identity)
        return FileChange::Replaced;
    if (now.size < doc.scanEnd.bytes) return FileChange::Truncated;
    int64_t size = -1;
    if (!doc.StillIndexed(doc.file, size)) return FileChange::Rewritten;
    return size > doc.scanEnd.bytes ? FileChange::Grown : FileChange::Unchanged;
}
