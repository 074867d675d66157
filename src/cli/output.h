// What lpt-eeprom-cli prints: the error line, the dump, the differing bytes, the write's summary
// and the progress line.
#pragma once

#include <iosfwd>
#include <string>

#include "bus/clock.h"
#include "cli/cli.h"
#include "operations/image_operations.h"

namespace lpt::cli {

constexpr char kProgram[] = "lpt-eeprom-cli";

// The one line of a message for the user: "lpt-eeprom-cli: <message>".
void PrintError(std::ostream& err, const std::string& message);

// A message of several lines as one line: "Cause.\nRemedy." -> "cause; remedy", with each
// sentence's capital dropped where it only starts a sentence ("The port", not "ACK").
std::string OneLine(const std::string& text);

// A line per 16 bytes, "0x7F0  41 62 ...  Ab...": address, the bytes in hex, the characters.
// `bytes` were read from `first` on; the addresses take `digits` hex digits (the memory's).
void PrintDump(std::ostream& out, const MemoryBytes& bytes, int first = 0, int digits = 3);

// The differing bytes a report shows, one a line: "0x010: expected 41, found FF"; the addresses
// in `digits` hex digits, as the dump shows them.
void PrintMismatches(std::ostream& out, const ImageDiff& diff, const char* expected,
                     const char* found, int digits = 3);
// "first at 0x010 (expected 41, found FF)", for the error line.
std::string FirstMismatch(const ImageDiff& diff, const char* expected, const char* found,
                          int digits = 3);

// "pages: 3 written, 125 skipped (already as asked), 3 read back, 0 differ", for pages of
// `pageSize` bytes.
void PrintWriteSummary(std::ostream& out, const WriteReport& report, int pageSize);

// The chip table, a line per part: name, size, page, word address bytes, address bits in the
// device byte, pins compared, longest write cycle, other names.
void PrintChips(std::ostream& out);

// Thrown where a run finds that the user asked it to stop.
struct Cancelled {};

// Progress on one line of a terminal, rewritten in place: percent, bytes, elapsed, remaining.
// Also where a run looks for the user's request to stop.
class Progress {
public:
    Progress(CliEnvironment& env, bool show) : env_(env), show_(show), start_(env.clock()) {}
    ~Progress() { End(); }

    // Throws Cancelled once the user asked to stop.
    void CheckCancel() const;
    void operator()(int done, int total);
    // Ends the progress line, so that what follows starts on a line of its own.
    void End();

    ProgressFn Fn() {
        return [this](int done, int total) { (*this)(done, total); };
    }

private:
    CliEnvironment& env_;
    bool show_;
    TimeNs start_;
    bool shown_ = false;
};

}  // namespace lpt::cli
