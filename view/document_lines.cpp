#include "view/document_lines.h"

uint64_t DocumentLines::Stamp() const {
    // Bytes appended to the file leave the stamp: the lines they reach are
    // dropped from the width cache by the reload.
    uint64_t stamp = static_cast<uint64_t>(static_cast<uint32_t>(document_.encoding)) << 32;
    stamp ^= document_.generation * 0xC2B2AE3D27D4EB4Full;
    return stamp;
}

uint64_t DocumentLines::Longest() const {
    // A line longer than one block read lies in a long block and is measured
    // when it shows, so the estimate stops at that length.
    const uint64_t length = document_.maxLineLength;
    const uint64_t blockUnits =
        static_cast<uint64_t>(document_.BlockBound()) / (IsUtf16(document_.encoding) ? 2 : 1);
    return length > blockUnits ? blockUnits : length;
}

void DocumentLines::Drop() {
    blocks_.clear();
    blocks_.shrink_to_fit();
    piece_.clear();
    piece_.shrink_to_fit();
}

void DocumentLines::Trim(uint64_t reading, uint64_t adding) {
    uint64_t firstLine = 0, lastLine = 0;
    if (screen) screen(firstLine, lastLine);
    const uint64_t firstShown = document_.BlockOfLine(firstLine), lastShown = document_.BlockOfLine(lastLine);
    for (;;) {
        uint64_t total = adding;
        size_t others = 0;
        Block* oldest = nullptr;
        bool stale = false;  // of another document or encoding: it goes anyway
        for (Block& b : blocks_) {
            total += b.units;
            const bool other = b.generation != document_.generation || b.encoding != document_.encoding;
            if (!other && (b.block == reading || (b.block >= firstShown && b.block <= lastShown))) continue;
            ++others;
            if (!oldest || (other && !stale) || (other == stale && b.lastUse < oldest->lastUse)) {
                oldest = &b;
                stale = other;
            }
        }
        if (!oldest || (!stale && others <= 1 && total <= budget)) return;
        blocks_.erase(blocks_.begin() + (oldest - blocks_.data()));
    }
}

const std::u16string& DocumentLines::Text(uint64_t line) {
    static const std::u16string empty;
    if (line >= document_.lineCount || document_.lineIndex.empty()) return empty;
    const uint64_t j = document_.BlockOfLine(line);
    int64_t start = 0, end = 0;
    // The same bounds ReadBlock takes: a block whose bytes moved is another block.
    if (!document_.BlockBytes(j, start, end)) return empty;
    // A line of a long block is read in pieces (Units); its text here is the
    // bounded prefix the document gives.
    if (document_.IsLongLine(line)) return document_.LineTextRef(line);
    const bool lastBlock = j + 1 >= document_.lineIndex.size();
    for (size_t i = 0; i < blocks_.size(); ++i) {
        Block& b = blocks_[i];
        if (b.block != j) continue;
        if (b.start == start && b.end == end && b.encoding == document_.encoding &&
            b.generation == document_.generation) {
            b.lastUse = ++clock_;
            auto it = b.lines.find(line);
            if (it != b.lines.end()) return it->second;
            if (b.whole) return empty;  // after a NUL or the final line end
        }
        // Other bytes or an incomplete read: free it before reading again.
        blocks_.erase(blocks_.begin() + i);
        break;
    }
    // Room first, so that the read does not come on top of blocks it drops.
    const uint64_t bytes = static_cast<uint64_t>(end - start);
    Trim(j, IsUtf16(document_.encoding) ? bytes / 2 : bytes);
    Block block;
    block.lines = document_.ReadBlock(line);
    ++reads;
    for (const auto& entry : block.lines) block.units += entry.second.size();
    block.whole = document_.blockComplete && (!lastBlock || !document_.indexing);
    block.block = j;
    block.start = start;
    block.end = end;
    block.encoding = document_.encoding;
    block.generation = document_.generation;
    block.lastUse = ++clock_;
    blocks_.push_back(std::move(block));
    Trim(j, 0);
    for (Block& b : blocks_) {
        if (b.block != j) continue;
        auto it = b.lines.find(line);
        return it != b.lines.end() ? it->second : empty;
    }
    return empty;
}

uint64_t DocumentLines::Length(uint64_t line) {
    if (document_.IsLongLine(line)) return document_.LineLength(line);
    return Text(line).size();
}

const char16_t* DocumentLines::Units(uint64_t line, uint64_t from, size_t count, size_t* got) {
    if (document_.IsLongLine(line)) {
        const uint64_t n = document_.LineLength(line);
        if (from > n) from = n;
        if (count > n - from) count = static_cast<size_t>(n - from);
        piece_ = document_.LinePiece(line, from, count);
        // A file changed under the view may give less: measure blanks then.
        if (piece_.size() != count) piece_.resize(count, u' ');
        if (got) *got = count;
        return piece_.data();
    }
    const std::u16string& text = Text(line);
    if (from > text.size()) from = text.size();
    if (count > text.size() - from) count = static_cast<size_t>(text.size() - from);
    if (got) *got = count;
    return text.data() + from;
}

PaneLines DocumentLines::Source() {
    PaneLines s;
    s.count = [this] { return document_.lineCount; };
    s.length = [this](uint64_t line) { return Length(line); };
    s.units = [this](uint64_t line, uint64_t from, size_t count, size_t* got) { return Units(line, from, count, got); };
    s.isLong = [this](uint64_t line) { return document_.IsLongLine(line); };
    s.number = [](uint64_t line) { return line; };
    s.stamp = [this] { return Stamp(); };
    s.longest = [this] { return Longest(); };
    return s;
}
