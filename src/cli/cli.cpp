#include "cli/cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "bus/i2c_bus.h"
#include "bus/ppdev_port.h"
#include "image/image_file.h"
#include "operations/bus_check.h"
#include "operations/dump_grid.h"
#include "operations/image_operations.h"
#include "operations/operations.h"
#include "sim/sim_eeprom.h"
#include "sim/sim_port.h"
#include "version.h"

namespace lpt::cli {

namespace {

constexpr char kProgram[] = "lpt-eeprom-cli";

constexpr char kFooter[] = R"(Commands:
  scan                     list the address bytes that answer on the bus, one a line
  read [-o FILE] [--format bin|ihex|srec]
                           read the whole memory into FILE (-o -: to stdout, binary unless
                           --format names another); without -o print a dump: address, 16 bytes
                           in hex, the characters (Windows-1251, '.' for control codes)
  write FILE [--all] [--no-verify] [--format F]
                           write the image in FILE: only the pages that differ (every page with
                           --all), each read back and compared unless --no-verify; a HEX or
                           S-record file may give part of the memory, the rest stays as it is
  verify FILE [--format F]
                           compare the memory with the bytes FILE gives
  erase [--value BYTE]
                           set every byte to BYTE (0xff when not given; 255 and 0xff both do)
The format of FILE comes from its extension (.bin, .hex, .srec) unless --format names it. An image
file is checked whole before the memory is touched; it must be a regular file. read -o replaces a
regular file atomically, writes through a symbolic link to its file, and writes a device or FIFO
in place. 'lpt-eeprom-cli COMMAND --help' shows the options of a command.

Exit status:
  0    done
  1    the memory did not answer, or it holds other bytes than the file (verify, or the read-back
       of a write)
  2    the command line cannot be used, or an image file is missing, damaged or does not fit the
       2 KB memory
  3    the parallel port cannot be used (missing, no access, held by another driver)
  130  cancelled by SIGINT, SIGTERM or SIGHUP; the bus is left at rest after the transaction under
       way)";

// The end of a run that did not go as asked: the exit status and the one line for the user.
struct Failure {
    int status;
    std::string message;
};

struct Cancelled {};

struct Options {
    std::string port;
    bool sim = false;
    std::string simImage;
    bool quiet = false;
    std::string command;
    std::string file;  // write, verify: FILE; read: -o FILE
    std::string format;
    bool all = false;
    bool noVerify = false;
    std::string value = "0xff";
};

bool IsWriting(const Options& o) { return o.command == "write" || o.command == "erase"; }

// A message of several lines as one line: "Cause.\nRemedy." -> "cause; remedy", with each
// sentence's capital dropped where it only starts a sentence ("The port", not "ACK").
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

// "255", "0xff", "0xFF" -> the byte; nothing for anything else.
std::optional<std::uint8_t> ParseByte(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* first = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    int value = -1;
    const auto [end, ec] = std::from_chars(first, last, value, hex ? 16 : 10);
    if (first == last || ec != std::errc{} || end != last || value < 0 || value > 255) return {};
    return static_cast<std::uint8_t>(value);
}

// The dump's character column: the Windows-1251 character, '.' for the control codes (C0, DEL,
// C1) that would move the cursor or vanish in a terminal.
std::string DumpChar(std::uint8_t byte) {
    const char32_t cp = Cp1251ToUnicode(byte);
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return ".";
    return CharForm(byte);
}

void PrintDump(std::ostream& out, const MemoryBytes& bytes) {
    for (int row = 0; row < MemoryImage::kSize; row += 16) {
        std::string hex, chars;
        for (int i = 0; i < 16; ++i) {
            const std::uint8_t b = bytes[static_cast<size_t>(row + i)];
            hex += " " + ByteHex(b);
            chars += DumpChar(b);
        }
        out << AddressText(row) << " " << hex << "  " << chars << '\n';
    }
}

// The differing bytes a report shows, one a line: "0x010: expected 41, found FF".
void PrintMismatches(std::ostream& out, const ImageDiff& diff, const char* expected,
                     const char* found) {
    for (const Mismatch& m : diff.first) {
        out << AddressText(m.address) << ": " << expected << " " << ByteHex(m.expected) << ", "
            << found << " " << ByteHex(m.found) << '\n';
    }
    if (diff.differing > static_cast<int>(diff.first.size()))
        out << "... and " << diff.differing - static_cast<int>(diff.first.size()) << " more\n";
}

// How many pages hold at least one of the differing bytes.
int PagesWithMismatches(const ImageDiff& diff) {
    int pages = 0;
    int last = -1;
    for (const Mismatch& m : diff.all) {  // in address order
        if (m.address / kPageSize != last) ++pages;
        last = m.address / kPageSize;
    }
    return pages;
}

std::string FirstMismatch(const ImageDiff& diff, const char* expected, const char* found) {
    const Mismatch& m = diff.first.front();
    return "first at " + AddressText(m.address) + " (" + expected + " " + ByteHex(m.expected) + ", " +
           found + " " + ByteHex(m.found) + ")";
}

// Progress on one line of a terminal, rewritten in place: percent, bytes, elapsed, remaining.
// Also where a run looks for the user's request to stop.
class Progress {
public:
    Progress(CliEnvironment& env, bool show) : env_(env), show_(show), start_(env.clock()) {}
    ~Progress() { End(); }

    void CheckCancel() const {
        if (env_.cancelled && env_.cancelled()) throw Cancelled{};
    }

    void operator()(int done, int total) {
        CheckCancel();
        if (!show_ || total <= 0) return;
        const double elapsed =
            std::chrono::duration<double>(env_.clock() - start_).count();
        const double left = done > 0 ? elapsed * (total - done) / done : 0.0;
        char line[96];
        std::snprintf(line, sizeof line, "\r%3d%%  %4d/%d bytes  %5.1f s elapsed  %5.1f s left ",
                      done * 100 / total, done, total, elapsed, left);
        env_.err << line << std::flush;
        shown_ = true;
    }

    // Ends the progress line, so that what follows starts on a line of its own.
    void End() {
        if (shown_) env_.err << '\n' << std::flush;
        shown_ = false;
    }

    ProgressFn Fn() {
        return [this](int done, int total) { (*this)(done, total); };
    }

private:
    CliEnvironment& env_;
    bool show_;
    TimeNs start_;
    bool shown_ = false;
};

// Every probe of the scan is a point where the user may stop it.
class ScanCancel : public ScanListener {
public:
    explicit ScanCancel(const Progress& progress) : progress_(progress) {}
    void Probed(std::uint8_t) override { progress_.CheckCancel(); }

private:
    const Progress& progress_;
};

// The simulated memory on a simulated port, for --sim; with an image file it starts from the
// file and the file gets the memory back when a command changed it.
struct SimMemory {
    explicit SimMemory(const ClockFn& clock)
        : eeprom(clock), port(std::make_shared<sim::SimPort>(LineTiming{}, clock)) {
        port->SetRecording(false);  // nobody reads the record; a write would make it large
        port->Attach(eeprom);
    }
    ~SimMemory() { port->Detach(eeprom); }

    sim::SimEeprom eeprom;
    std::shared_ptr<sim::SimPort> port;
    std::string image;
    MemoryBytes start{};
};

// The help's formatter, which writes the optional value of --sim as it is typed: --sim[=IMAGE].
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_option_opts(const CLI::Option* option) const override {
        if (option->check_lname("sim")) return "[=IMAGE]";
        return CLI::Formatter::make_option_opts(option);
    }
};

std::optional<ImageFormat> ChosenFormat(const Options& o) {
    if (o.format.empty()) return std::nullopt;
    return FormatFromName(o.format);  // CLI11 let only the three names through
}

constexpr const char* kCommands[] = {"scan", "read", "write", "verify", "erase"};

// Edits (insert, delete, replace, swap two neighbours) that turn one word into the other.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t replace = d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, replace});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// "unknown command 'raed'; did you mean 'read'? Give one of ...": the closest command is
// offered only when it is a slip of the keyboard away (one edit in a short word, two in a
// longer one).
std::string UnknownCommand(const std::string& word) {
    std::string lower;
    for (char c : word) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const size_t close = lower.size() <= 4 ? 1 : 2;
    const char* best = nullptr;
    size_t bestDistance = close + 1;
    for (const char* command : kCommands) {
        const size_t distance = EditDistance(lower, command);
        if (distance < bestDistance) {
            best = command;
            bestDistance = distance;
        }
    }
    std::string text = "unknown command '" + word + "'; ";
    text += best ? "did you mean '" + std::string(best) + "'? Give one" : "give one";
    return text + " of scan, read, write, verify, erase (see " + kProgram + " --help)";
}

// One command on a bus at rest. Returns the failure to report, if any; errors of the bus, the
// port and the files are thrown.
struct Command {
    const Options& o;
    CliEnvironment& env;
    I2CBus& bus;
    Progress& progress;

    std::optional<Failure> Scan() {
        ScanCancel listener(progress);
        const std::vector<std::uint8_t> answers = BusScan(bus, listener);
        for (int a : answers) env.out << ByteHex(a) << '\n';
        if (!answers.empty()) return std::nullopt;
        return Failure{kStatusMemory, "no device answered on the bus; check that the memory is in "
                                      "place and powered, and the wiring of pins 2, 15, 16 and "
                                      "ground"};
    }

    std::optional<Failure> Read(ImageFormat format) {
        const MemoryBytes bytes = ReadMemory(bus, env.clock, progress.Fn());
        progress.End();
        if (o.file.empty()) {
            PrintDump(env.out, bytes);
            return std::nullopt;
        }
        if (o.file == "-") {
            // Nothing else goes to stdout: the report would end up inside the image.
            WriteImageStream(env.out, "standard output", MemoryImage::Full(bytes), format);
            return std::nullopt;
        }
        WriteImageFile(o.file, MemoryImage::Full(bytes), format);
        // Reported for a file only: a device or a FIFO may be where stdout goes as well
        // (/dev/stdout), and the report would land in the image.
        std::error_code notFile;
        if (!o.quiet && std::filesystem::is_regular_file(o.file, notFile))
            env.out << "read " << MemoryImage::kSize << " bytes into " << o.file << " ("
                    << FormatName(format) << ")\n";
        return std::nullopt;
    }

    std::optional<Failure> Verify(const MemoryImage& image) {
        const ImageDiff diff = VerifyImage(bus, image, env.clock, progress.Fn());
        progress.End();
        if (diff.differing == 0) {
            if (!o.quiet) env.out << "verified: " << diff.compared << " bytes match\n";
            return std::nullopt;
        }
        if (!o.quiet) PrintMismatches(env.out, diff, "expected", "found");
        return Failure{kStatusMemory, std::to_string(diff.differing) + " of " +
                                          std::to_string(diff.compared) + " bytes differ from " +
                                          o.file + ", " + FirstMismatch(diff, "expected", "found") +
                                          "; write the file to the memory, or check that it is "
                                          "the right file"};
    }

    // write (the image) or erase (every byte `value`).
    std::optional<Failure> Write(const MemoryImage& image, std::uint8_t value) {
        const WriteOptions options{o.all, !o.noVerify};
        const WriteReport report =
            o.command == "write" ? WriteImage(bus, image, env.clock, options, progress.Fn())
                                 : EraseMemory(bus, value, env.clock, options, progress.Fn());
        progress.End();
        if (!o.quiet) {
            env.out << "pages: " << report.pagesWritten << " written, " << report.pagesSkipped
                    << " skipped (already as asked), ";
            if (report.verified)
                env.out << report.pagesWritten << " read back, "
                        << PagesWithMismatches(report.verify) << " differ\n";
            else if (report.pagesWritten > 0)
                env.out << "not read back (--no-verify)\n";
            else
                env.out << "none to verify\n";
        }
        if (!report.verified || report.verify.differing == 0) return std::nullopt;
        if (!o.quiet) PrintMismatches(env.out, report.verify, "wrote", "read");
        return Failure{kStatusMemory, std::to_string(report.verify.differing) +
                                          " bytes read back other than written, " +
                                          FirstMismatch(report.verify, "wrote", "read") +
                                          "; the memory may be write-protected (WP pin high) or "
                                          "failing"};
    }
};

// The one way out for every outcome: the bus left at rest before the port is let go. After a
// finished command or a cancel between pages it already is, and this changes nothing. After a
// port failure in the middle of a transaction (a page half sent, a byte half clocked) raising
// SCL and then SDA would be a stop, and a stop may make the memory commit the part of a page it
// was given; the bus clear instead sends a start first, which makes it drop that part. A port
// that never opened has no bus to leave.
void LeaveBusAtRest(I2CBus& bus, Port& port, std::optional<Failure>& failure) {
    if (!port.EverOpened()) return;
    try {
        if (bus.Interrupted()) {
            CheckBus(bus);
        } else {
            // Clock line first, then the data line.
            bus.SetSCL(kTrue);
            bus.SetSDA(kTrue);
        }
    } catch (const PortError&) {
        // The port is still failing: already reported, or the next run will report it.
    } catch (const BusError& e) {
        // SDA stays low after the clear: the next run's bus check would say so as well.
        if (!failure) failure = Failure{kStatusMemory, OneLine(e.English())};
    }
}

int Execute(const Options& o, CliEnvironment& env) {
    // Everything the command line and the files can get wrong, before the port is touched.
    std::optional<PortChoice> choice = ParsePortChoice(o.port);
    if (!o.sim && !choice) {
        throw Failure{kStatusUsage, "--port " + o.port + ": not a parallel port; give its device "
                                    "(/dev/parport0, parport0) or its base address (0x378, "
                                    "0xd010, 888)"};
    }
    std::uint8_t eraseValue = 0xFF;
    if (o.command == "erase") {
        const auto value = ParseByte(o.value);
        if (!value)
            throw Failure{kStatusUsage, "--value " + o.value + ": not a byte; give 0 to 255, in "
                                        "decimal or as 0x00 to 0xff"};
        eraseValue = *value;
    }
    ImageFormat outFormat = ImageFormat::Binary;
    if (o.command == "read" && !o.file.empty()) {
        // "-" (stdout) has no extension to go by: binary unless --format names another.
        const auto f = !o.format.empty() ? ChosenFormat(o)
                       : o.file == "-"   ? ImageFormat::Binary
                                         : FormatFromExtension(o.file);
        if (!f)
            throw Failure{kStatusUsage, o.file + ": unknown file type; name the file .bin, .hex "
                                        "or .srec, or give --format"};
        outFormat = *f;
    }
    MemoryImage image;  // read and checked whole: nothing is sent to the memory before this
    if (o.command == "write" || o.command == "verify")
        image = ReadImageFile(o.file, ChosenFormat(o));

    std::unique_ptr<SimMemory> sim;
    std::shared_ptr<Port> port;
    if (o.sim) {
        sim = std::make_unique<SimMemory>(env.clock);
        if (o.simImage.empty()) {
            sim::LoadDemoContents(sim->eeprom);
        } else {
            sim->image = o.simImage;
            sim->eeprom.Memory() = ReadImageFile(o.simImage, ImageFormat::Binary).bytes;
        }
        sim->start = sim->eeprom.Memory();
        port = sim->port;
    } else {
        port = env.openPort(*choice);
    }

    I2CBus bus(*port, env.clock);
    Progress progress(env, env.errIsTerminal && !o.quiet);
    Command command{o, env, bus, progress};
    std::optional<Failure> failure;
    try {
        // Bus at rest: data line first, then the clock line. The first port access.
        bus.SetSDA(kTrue);
        bus.SetSCL(kTrue);
        if (o.command == "scan")
            failure = command.Scan();
        else if (o.command == "read")
            failure = command.Read(outFormat);
        else if (o.command == "verify")
            failure = command.Verify(image);
        else
            failure = command.Write(image, eraseValue);
    } catch (const Cancelled&) {
        std::string what = "cancelled by a signal";
        if (IsWriting(o))
            what += "; the pages written so far stay written, run the command again to finish";
        else if (o.command == "read" && !o.file.empty())
            what += "; " + (o.file == "-" ? "nothing went to stdout" : o.file + " was not written");
        failure = Failure{kStatusCancelled, what};
    } catch (const BusError& e) {
        failure = Failure{kStatusMemory, OneLine(e.English())};
    } catch (const PortError& e) {
        failure = Failure{kStatusPort, OneLine(e.English())};
    } catch (const ImageFileError& e) {  // the file the read was to go into
        failure = Failure{kStatusUsage, e.what()};
    }
    progress.End();
    LeaveBusAtRest(bus, *port, failure);
    if (sim && !sim->image.empty() && IsWriting(o) && sim->eeprom.Memory() != sim->start) {
        try {
            WriteImageFile(sim->image, MemoryImage::Full(sim->eeprom.Memory()),
                           ImageFormat::Binary);
        } catch (const ImageFileError& e) {
            if (failure) env.err << kProgram << ": " << failure->message << '\n';
            failure = Failure{kStatusUsage, std::string(e.what()) + "; the simulated memory's "
                                                                   "changes are lost"};
        }
    }
    if (failure) throw *failure;
    return kStatusDone;
}

}  // namespace

std::shared_ptr<Port> OpenPpdevPort(const PortChoice& choice) {
    return std::make_shared<PpdevPort>(choice);
}

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
    Options o;
    CLI::App app{"Reads, scans and writes a 2 KB I2C EEPROM wired to the PC parallel port.",
                 kProgram};
    app.set_version_flag("--version", std::string(kProgram) + " " + kVersion,
                         "Print the program's version and exit");
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.formatter(std::make_shared<HelpFormatter>());
    app.get_formatter()->label("SUBCOMMAND", "COMMAND");
    app.get_formatter()->column_width(22);
    app.require_subcommand(1);
    app.fallthrough();  // -q, --sim, --port also after the command, as in `read -o x.bin -q`
    CLI::Option* portOption =
        app.add_option("--port", o.port,
                       "The parallel port the memory is wired to: its device (/dev/parport1,\n"
                       "parport1) or its base address (0x378, 0xd010, 888); 0x378 when not given")
            ->type_name("PORT");
    CLI::Option* sim = app.add_option(
        "--sim", o.simImage,
        "A simulated memory instead of a port: the demonstration contents, or\n"
        "with =IMAGE the 2048-byte binary IMAGE, which write and erase update");
    sim->expected(0, 1);
    app.add_flag("-q,--quiet", o.quiet,
                 "Print only errors: no progress, no reports (a dump or a scan's\n"
                 "list still goes to stdout)");

    const auto format = [&o](CLI::App* command) {
        command->add_option("--format", o.format, "The file's format, whatever its extension")
            ->type_name("bin|ihex|srec")
            ->check(CLI::IsMember({"bin", "ihex", "srec"}).description(""));
    };
    const auto file = [&o](CLI::App* command, const char* what) {
        command->add_option("FILE", o.file, what)->type_name("")->required();
    };
    // The commands are listed in the footer with their syntax; the formatter's own list is hidden.
    CLI::App* scan = app.add_subcommand("scan", "List the address bytes that answer, one a line");
    CLI::App* read = app.add_subcommand("read", "Read the whole memory into a file, or dump it");
    read->add_option("-o,--output", o.file,
                     "The image file to write (- for stdout); a dump to stdout without")
        ->type_name("FILE");
    format(read);
    CLI::App* write = app.add_subcommand("write", "Write an image file to the memory");
    file(write, "The image to write");
    write->add_flag("--all", o.all, "Write every page, also those that already hold the image");
    write->add_flag("--no-verify", o.noVerify, "Do not read the pages written back");
    format(write);
    CLI::App* verify = app.add_subcommand("verify", "Compare the memory with an image file");
    file(verify, "The image to compare with");
    format(verify);
    CLI::App* erase = app.add_subcommand("erase", "Set every byte of the memory to one value");
    erase->add_option("--value", o.value, "The byte: 0 to 255, or 0x00 to 0xff")
        ->type_name("BYTE")
        ->default_str("0xff");
    for (CLI::App* command : {scan, read, write, verify, erase}) command->group("");
    app.footer(kFooter);  // after the commands, which would inherit it

    try {
        // CLI11 reads "--port=" as --port without a value and takes the next word for it; it
        // is an empty --port, refused below.
        std::vector<std::string> words;
        for (auto it = args.rbegin(); it != args.rend(); ++it) {
            if (*it == "--port=") words.push_back("");
            words.push_back(*it == "--port=" ? "--port" : *it);
        }
        app.parse(words);  // in reverse order, as CLI11 takes a vector
    } catch (const CLI::CallForHelp&) {
        env.out << app.help();
        return kStatusDone;
    } catch (const CLI::CallForVersion& e) {
        env.out << e.what() << '\n';
        return kStatusDone;
    } catch (const CLI::ParseError& e) {
        // A word where the command belongs that names none: CLI11 would only say that a command
        // is required.
        const std::vector<std::string> rest = app.remaining();
        if (app.get_subcommands().empty() && !rest.empty() && !rest.front().empty() &&
            rest.front()[0] != '-') {
            env.err << kProgram << ": " << UnknownCommand(rest.front()) << '\n';
            return kStatusUsage;
        }
        std::string why = OneLine(e.what());
        // CLI11 speaks of subcommands; the help of this program calls them commands.
        for (size_t at; (at = why.find("subcommand")) != std::string::npos;)
            why.replace(at, 10, "command");
        env.err << kProgram << ": " << why << "; see " << kProgram << " --help\n";
        return kStatusUsage;
    }
    o.command = app.get_subcommands().front()->get_name();
    o.sim = sim->count() > 0;
    if (portOption->count() > 0 && o.port.empty()) {
        // Left out, --port means the port at 0x378; given empty (a variable that was not set),
        // it means nothing, and the memory on some other port must not be taken for it.
        env.err << kProgram << ": --port is empty; give the port's device (/dev/parport0, "
                               "parport0) or its base address (0x378, 0xd010, 888), or leave "
                               "--port out for the port at 0x378\n";
        return kStatusUsage;
    }
    if (o.sim && portOption->count() > 0) {
        env.err << kProgram << ": --port and --sim exclude each other; give one of them\n";
        return kStatusUsage;
    }

    try {
        return Execute(o, env);
    } catch (const Failure& f) {
        env.err << kProgram << ": " << f.message << '\n';
        return f.status;
    } catch (const ImageFileError& e) {
        env.err << kProgram << ": " << e.what() << '\n';
        return kStatusUsage;
    } catch (const PortError& e) {
        env.err << kProgram << ": " << OneLine(e.English()) << '\n';
        return kStatusPort;
    }
}

}  // namespace lpt::cli
