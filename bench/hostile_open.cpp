// Opens one file with the document core and does what a viewer does first:
// index it, read its first, middle and last lines, look for a text near the
// end (backward from the top, which wraps to the last line) and count it.
// Prints the time of each step and the peak memory of the process.
//   hostile_open FILE [TEXT...]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "core/text_document.h"
#include "search/find_engine.h"

namespace {

double Since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

long PeakKiB() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;  // KiB on Linux
}

// The start of a line as printable ASCII: \r, \n, \0, \uXXXX for the rest.
std::string Show(const std::u16string& s, size_t most = 40) {
    std::string out;
    for (size_t i = 0; i < s.size() && i < most; i++) {
        char16_t u = s[i];
        if (u == u'\r') out += "\\r";
        else if (u == u'\n') out += "\\n";
        else if (u >= 0x20 && u < 0x7F) out += static_cast<char>(u);
        else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", unsigned(u));
            out += buf;
        }
    }
    if (s.size() > most) out += "...";
    return out;
}

const char* Name(Encoding e) {
    switch (e) {
    case Encoding::Utf8Bom: return "UTF-8 with mark";
    case Encoding::Utf16Le: return "UTF-16 LE";
    case Encoding::Utf16Be: return "UTF-16 BE";
    case Encoding::Ansi: return "ANSI";
    case Encoding::Utf8: return "UTF-8";
    default: return "none";
    }
}

void ShowLine(TextDocument& doc, const char* what, uint64_t n) {
    auto t0 = std::chrono::steady_clock::now();
    const std::u16string& text = doc.LineTextRef(n);
    const uint64_t length = doc.LineLength(n);  // a long line: its first units only are read
    std::printf("  %-6s line %llu: %llu units in %.3f s, peak %ld KiB: \"%s\"\n", what,
                static_cast<unsigned long long>(n + 1), static_cast<unsigned long long>(length), Since(t0), PeakKiB(),
                Show(text).c_str());
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: hostile_open FILE [TEXT...]\n");
        return 2;
    }
    TextDocument doc;
    int calls = 0;
    doc.progress = [&](int32_t) { calls++; };
    auto t0 = std::chrono::steady_clock::now();
    bool ok = doc.Open(PathFromUtf8(argv[1]), Encoding::None);
    double openSeconds = Since(t0);
    if (!ok) {
        std::printf("  open failed after %.3f s (peak %ld KiB)\n", openSeconds, PeakKiB());
        return 1;
    }
    std::printf("  open + index: %.2f s, %s, %lld bytes, %llu lines, longest %llu units, %zu index entries, "
                "%d progress calls, peak %ld KiB\n",
                openSeconds, Name(doc.encoding), static_cast<long long>(doc.fileSize),
                static_cast<unsigned long long>(doc.lineCount), static_cast<unsigned long long>(doc.maxLineLength),
                doc.lineIndex.size(), calls, PeakKiB());
    ShowLine(doc, "first", 0);
    ShowLine(doc, "middle", doc.lineCount / 2);
    ShowLine(doc, "last", doc.lineCount - 1);
    if (doc.lineCount > 1) ShowLine(doc, "before", doc.lineCount - 2);
    for (int i = 2; i < argc; i++) {
        std::string arg = argv[i];
        std::u16string pat(arg.begin(), arg.end());
        TextPosition hit{};
        FindOptions opt;
        t0 = std::chrono::steady_clock::now();
        SearchResult r = SearchBackward(doc, TextPosition{}, pat, opt, hit);
        double s = Since(t0);
        if (r == SearchResult::Found)
            std::printf("  find \"%s\" (backward from the top): line %llu column %llu in %.3f s\n", arg.c_str(),
                        static_cast<unsigned long long>(hit.line + 1), static_cast<unsigned long long>(hit.column + 1),
                        s);
        else
            std::printf("  find \"%s\" (backward from the top): not found in %.3f s\n", arg.c_str(), s);
        uint64_t total = 0;
        t0 = std::chrono::steady_clock::now();
        CountAll(doc, pat, opt, total);
        std::printf("  count \"%s\": %llu in %.2f s\n", arg.c_str(), static_cast<unsigned long long>(total), Since(t0));
    }
    std::printf("  peak memory: %ld KiB\n", PeakKiB());
    doc.Close();
    return 0;
}
