// What became of the file a document shows, for following a log while it is
// written. It is judged from the path and the document's open file
// together: the identity of both, the size, and the bytes at the end of what
// was indexed, read through the open file. A file replaced under its name is
// never taken as grown, whatever its last bytes are.
#pragma once
#include <string>

#include "core/file_identity.h"

class TextDocument;

enum class FileChange {
    Unchanged,  // nothing to take in
    Grown,      // bytes appended to the bytes indexed: an incremental reload
    Rewritten,  // the same file, but the bytes indexed changed
    Truncated,  // the same file, shorter than indexed
    Replaced,   // the name holds another file now (a rotation), or it came back
    Vanished    // the name holds no file
};

class FollowCheck {
public:
    // The next check looks at everything again (after an open or a reload).
    void Reset() { known_ = false; }
    // One look at the path and the open document: a size and write time seen
    // at the last check are taken as unchanged without reading anything.
    FileChange Check(TextDocument& doc, const std::u16string& path);

private:
    FileProbe last_;
    bool known_ = false;
};
