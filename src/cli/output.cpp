#include "cli/output.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <ostream>

#include "common/chips.h"
#include "operations/dump_grid.h"

namespace lpt::cli {

namespace {

// The dump's character column: the Windows-1251 character, '.' for the control codes (C0, DEL,
// C1) that would move the cursor or vanish in a terminal.
std::string DumpChar(std::uint8_t byte) {
    const char32_t cp = Cp1251ToUnicode(byte);
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return ".";
    return CharForm(byte);
}

// How many pages hold at least one of the differing bytes.
int PagesWithMismatches(const ImageDiff& diff, int pageSize) {
    int pages = 0;
    int last = -1;
    for (const Mismatch& m : diff.all) {  // in address order
        if (m.address / pageSize != last) ++pages;
        last = m.address / pageSize;
    }
    return pages;
}

// "128 B", "2 KB", "256 KB".
std::string SizeText(int bytes) {
    return bytes % 1024 == 0 ? std::to_string(bytes / 1024) + " KB" : std::to_string(bytes) + " B";
}

}  // namespace

void PrintError(std::ostream& err, const std::string& message) {
    err << kProgram << ": " << message << '\n';
}

std::string OneLine(const std::string& text) {
    std::string line;
    bool lowerNext = true;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            if (!line.empty() && line.back() == '.') line.pop_back();
            line += "; ";
            lowerNext = true;
            continue;
        }
        const char next = i + 1 < text.size() ? text[i + 1] : ' ';
        const bool capitalOfWord = std::isupper(static_cast<unsigned char>(c)) &&
                                   (next == ' ' || std::islower(static_cast<unsigned char>(next)));
        line += lowerNext && capitalOfWord ? static_cast<char>(std::tolower(c)) : c;
        lowerNext = false;
    }
    return line;
}

void PrintDump(std::ostream& out, const MemoryBytes& bytes, int first, int digits) {
    const int size = static_cast<int>(bytes.size());
    for (int row = 0; row < size; row += 16) {
        std::string hex, chars;
        for (int i = 0; i < 16; ++i) {
            if (row + i >= size) {  // a short last line keeps the characters in their column
                hex += "   ";
                continue;
            }
            const std::uint8_t b = bytes[static_cast<size_t>(row + i)];
            hex += " " + ByteHex(b);
            chars += DumpChar(b);
        }
        out << AddressText(first + row, digits) << " " << hex << "  " << chars << '\n';
    }
}

void PrintMismatches(std::ostream& out, const ImageDiff& diff, const char* expected,
                     const char* found, int digits) {
    for (const Mismatch& m : diff.first) {
        out << AddressText(m.address, digits) << ": " << expected << " " << ByteHex(m.expected) << ", "
            << found << " " << ByteHex(m.found) << '\n';
    }
    if (diff.differing > static_cast<int>(diff.first.size()))
        out << "... and " << diff.differing - static_cast<int>(diff.first.size()) << " more\n";
}

std::string FirstMismatch(const ImageDiff& diff, const char* expected, const char* found,
                          int digits) {
    const Mismatch& m = diff.first.front();
    return "first at " + AddressText(m.address, digits) + " (" + expected + " " + ByteHex(m.expected) +
           ", " + found + " " + ByteHex(m.found) + ")";
}

void PrintWriteSummary(std::ostream& out, const WriteReport& report, int pageSize) {
    out << "pages: " << report.pagesWritten << " written, " << report.pagesSkipped
        << " skipped (already as asked), ";
    if (report.verified)
        out << report.pagesWritten << " read back, " << PagesWithMismatches(report.verify, pageSize)
            << " differ\n";
    else if (report.pagesWritten > 0)
        out << "not read back (--no-verify)\n";
    else
        out << "none to verify\n";
}

void PrintChips(std::ostream& out) {
    char line[160];
    std::snprintf(line, sizeof line, "%-9s %-7s %5s  %-13s  %-21s  %-19s  %-11s  %s\n", "chip",
                  "size", "page", "address bytes", "high address bits", "pins compared",
                  "write cycle", "other names");
    out << line;
    for (const Chip& chip : Chips()) {
        const auto cycle = std::chrono::duration_cast<std::chrono::milliseconds>(chip.writeCycle);
        std::snprintf(line, sizeof line, "%-9s %-7s %5d  %-13d  %-21s  %-19s  %-11s  %s", chip.name,
                      SizeText(chip.size).c_str(), chip.pageSize, chip.addressBytes,
                      chip.HighBitsText().c_str(), chip.PinsText().c_str(),
                      (std::to_string(cycle.count()) + " ms").c_str(), chip.otherNames);
        std::string text = line;
        text.erase(text.find_last_not_of(' ') + 1);  // no blanks after the last column
        out << text << '\n';
    }
}

void Progress::CheckCancel() const {
    if (env_.cancelled && env_.cancelled()) throw Cancelled{};
}

void Progress::operator()(int done, int total) {
    CheckCancel();
    if (!show_ || total <= 0) return;
    const double elapsed = std::chrono::duration<double>(env_.clock() - start_).count();
    const double left = done > 0 ? elapsed * (total - done) / done : 0.0;
    char line[96];
    std::snprintf(line, sizeof line, "\r%3d%%  %4d/%d bytes  %5.1f s elapsed  %5.1f s left ",
                  done * 100 / total, done, total, elapsed, left);
    env_.err << line << std::flush;
    shown_ = true;
}

void Progress::End() {
    if (shown_) env_.err << '\n' << std::flush;
    shown_ = false;
}

}  // namespace lpt::cli
