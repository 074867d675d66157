#include "cli/options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <memory>
#include <ostream>

#include "bus/port_choice.h"
#include "cli/output.h"
#include "common/chips.h"
#include "operations/hex_text.h"
#include "version.h"

namespace lpt::cli {

namespace {

constexpr char kFooter[] = R"(Commands:
  scan                     list the address bytes that answer on the bus, one a line
  read [-o FILE] [--format bin|ihex|srec] [--offset A] [--length N]
                           read the whole memory into FILE (-o -: to stdout, binary unless
                           --format names another); without -o print a dump: address, 16 bytes
                           in hex, the characters (Windows-1251, '.' for control codes); with
                           --offset or --length only the N bytes from address A (decimal or 0x
                           hex; from 0, to the end of the memory when left out), at their own
                           addresses in the dump and in a HEX or S-record file
  write FILE [--offset A] [--all] [--no-verify] [--format F]
                           write the image in FILE: only the pages that differ (every page with
                           --all), each read back and compared unless --no-verify; a HEX or
                           S-record file may give part of the memory, the rest stays as it is; a
                           binary file is the whole memory, or with --offset goes to address A
  verify FILE [--offset A] [--format F]
                           compare the memory with the bytes FILE gives (a binary file at
                           address A with --offset)
  erase [--value BYTE]
                           set every byte to BYTE (0xff when not given; 255 and 0xff both do)
  test-cable               drive each line of the cable and report which pin follows which, then
                           the bus check and a scan; no memory needed (exit 1: the cable does not
                           work as chosen)
  cables                   list the built-in cables and those of the user's cables.conf
  detect                   tell from reads alone which memory is on the bus: each finding on a
                           line of its own (certain, guess, cannot tell), then the parts that fit
  chips                    list the memories --chip knows: name, size, page, word address bytes,
                           address bits in the device byte, pins compared, longest write cycle,
                           other names
--cable NAME|DEFINITION chooses the wiring for every command (also with --sim): direct (the
default), a built-in name, type0-type8, a name from ~/.config/lpt-eeprom/cables.conf, or a
definition such as sda=~D1,scl=~D0,sda-in=S5,scl-in=S4.
--port /dev/i2c-N (or i2c-N) works through a kernel I2C adapter instead (a USB bridge, a board's
bus; 'i2cdetect -l' lists them): every command but test-cable, at the adapter's own clock (no
--cable, no --speed). A scan there reads one byte at each address, never writes. On a PC's SMBus,
or where a memory's first bytes look like a memory module's SPD, nothing at 0x50-0x57 is written
without --force: a module's SPD written over can leave the PC unable to boot.
The memory is a 24c16 unless --chip names another; sizes, pages and addresses follow it.
The format of FILE comes from its extension (.bin, .hex, .srec) unless --format names it. An image
file is checked whole before the memory is touched; it must be a regular file. read -o replaces a
regular file atomically, writes through a symbolic link to its file, and writes a device or FIFO
in place. 'lpt-eeprom-cli COMMAND --help' shows the options of a command.

Exit status:
  0    done
  1    the memory did not answer, or it holds other bytes than the file (verify, or the read-back
       of a write)
  2    the command line cannot be used (an unknown chip, an address outside the memory), or an
       image file is missing, damaged or does not fit the chosen memory
  3    the port cannot be used (missing, no access, held by another driver; an adapter that
       offers only SMBus, or an address a kernel driver holds)
  130  cancelled by SIGINT, SIGTERM or SIGHUP; the bus is left at rest after the transaction under
       way)";

// What each mode gives on the real port: a port call (an ioctl) takes about 1.5 us, and a bit
// is at least three of them (SDA, SCL up, SCL down), about 4.5 us, which the port cannot go below
// whatever the mode's minima allow.
constexpr char kSpeedHelp[] =
    "The bus clock: standard (100 kHz, the default; every memory),\n"
    "fast (400 kHz) or fast-plus (1 MHz) where the chip allows it (a\n"
    "warning when above its datasheet). A bit takes at least 3 port calls:\n"
    "at 1.5 us a call, 4.5 us, so both fast modes give at most ~220 kHz\n"
    "there, bounded by the port, not by their minima (test-cable measures\n"
    "the call time)";

struct CommandName {
    const char* name;
    Command command;
};
constexpr CommandName kCommands[] = {{"scan", Command::Scan},
                                     {"read", Command::Read},
                                     {"write", Command::Write},
                                     {"verify", Command::Verify},
                                     {"erase", Command::Erase},
                                     {"test-cable", Command::TestCable},
                                     {"cables", Command::Cables},
                                     {"detect", Command::Detect},
                                     {"chips", Command::Chips}};

// The words as typed, before they are checked.
struct Words {
    std::string port;
    std::string simImage;
    std::string cable = "direct";
    std::string speed = "standard";
    bool quiet = false;
    bool force = false;
    std::string file;
    std::string format;
    bool all = false;
    bool noVerify = false;
    std::string value = "0xff";
    std::string chip = DefaultChip().name;
    std::string page;  // empty: not given
    std::string pins;
    std::string offset;
    std::string length;
};

// The help's formatter, which writes the optional value of --sim as it is typed: --sim[=IMAGE].
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_option_opts(const CLI::Option* option) const override {
        if (option->check_lname("sim")) return "[=IMAGE]";
        return CLI::Formatter::make_option_opts(option);
    }
};

// "255", "0xff", "0xFF" -> the number; nothing for anything else (a sign, a number past int).
std::optional<int> ParseNumber(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* first = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    int value = -1;
    const auto [end, ec] = std::from_chars(first, last, value, hex ? 16 : 10);
    if (first == last || ec != std::errc{} || end != last || value < 0) return {};
    return value;
}

// "255", "0xff", "0xFF" -> the byte; nothing for anything else.
std::optional<std::uint8_t> ParseByte(const std::string& text) {
    const std::optional<int> value = ParseNumber(text);
    if (!value || *value > 255) return {};
    return static_cast<std::uint8_t>(*value);
}

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
    for (const CommandName& command : kCommands) {
        const size_t distance = EditDistance(lower, command.name);
        if (distance < bestDistance) {
            best = command.name;
            bestDistance = distance;
        }
    }
    std::string text = "unknown command '" + word + "'; ";
    text += best ? "did you mean '" + std::string(best) + "'? Give one of " : "give one of ";
    for (const CommandName& command : kCommands)
        text += std::string(&command == kCommands ? "" : ", ") + command.name;
    return text + " (see " + kProgram + " --help)";
}

// --page or --pins as a number, or nothing when not given; false after printing why a word is
// none.
bool NumberOption(const char* option, const std::string& text, std::optional<int>& number,
                  const char* what, std::ostream& err) {
    if (text.empty()) return true;
    number = ParseNumber(text);
    if (!number) PrintError(err, std::string(option) + " " + text + ": not a number; give " + what);
    return number.has_value();
}

// The memory --chip, --page and --pins name; nothing after printing why it cannot be chosen.
std::optional<ChipChoice> CheckChip(const Words& typed, std::ostream& err) {
    std::optional<int> page, pins;
    if (!NumberOption("--page", typed.page, page, "the page size in bytes (8, 16, 32, ...)", err) ||
        !NumberOption("--pins", typed.pins, pins,
                      "the levels of pins A2 A1 A0 as one number, 0 to 7", err))
        return std::nullopt;
    try {
        return ChooseChip(typed.chip, page, pins);
    } catch (const ChipChoiceError& e) {
        // An unknown name: the table says more about each part than the list of names.
        const std::string more = FindChip(typed.chip) ? "" : std::string(" (") + kProgram +
                                                                 " chips shows them)";
        PrintError(err, e.English() + more);
        return std::nullopt;
    }
}

// "the 24c64 (8192 bytes, 0x0000-0x1FFF)", the memory an address has to lie in.
std::string MemoryText(const Chip& chip) {
    const int digits = ChipChoice{&chip}.Geometry().AddressDigits();
    return "the " + std::string(chip.name) + " (" + std::to_string(chip.size) + " bytes, " +
           AddressText(0, digits) + "-" + AddressText(chip.size - 1, digits) + ")";
}

// --offset and --length: inside the chosen memory, and --offset only where a binary file is
// placed by it. False after printing why not.
bool CheckRange(const Words& typed, Command command, const ChipChoice& chip, Options& options,
                std::ostream& err) {
    const Chip& part = chip.Part();
    const int digits = chip.Geometry().AddressDigits();
    if (!typed.offset.empty()) {
        options.offset = ParseNumber(typed.offset);
        if (!options.offset) {
            PrintError(err, "--offset " + typed.offset + ": not an address; give it in decimal or "
                                                         "as 0x hex (4096, 0x1000)");
            return false;
        }
        if (*options.offset >= part.size) {
            PrintError(err, "--offset " + typed.offset + " lies outside " + MemoryText(part) +
                                "; give an address up to " + AddressText(part.size - 1, digits) +
                                ", or choose the chip on the bus with --chip");
            return false;
        }
    }
    if (!typed.length.empty()) {
        options.length = ParseNumber(typed.length);
        if (!options.length || *options.length == 0) {
            PrintError(err, "--length " + typed.length + ": not a length; give the number of "
                                                         "bytes, from 1, in decimal or as 0x hex");
            return false;
        }
        const int first = options.offset.value_or(0);
        if (*options.length > part.size - first) {
            PrintError(err, "--length " + typed.length + " from " + AddressText(first, digits) +
                                " reaches past the end of " + MemoryText(part) + "; give at most " +
                                std::to_string(part.size - first) + " bytes from there");
            return false;
        }
    }
    if (options.offset && (command == Command::Write || command == Command::Verify)) {
        const auto format = options.format ? options.format : FormatFromExtension(options.file);
        if (format && *format != ImageFormat::Binary) {
            PrintError(err, "--offset places a binary file, and " + options.file + " is " +
                                (*format == ImageFormat::IntelHex ? "Intel HEX" : "S-record") +
                                ", whose records give their own addresses; leave --offset out");
            return false;
        }
    }
    return true;
}

// The options' meaning, once CLI11 has taken the words apart: nothing when a word cannot be used,
// after printing why.
std::optional<Options> Check(const Words& typed, Command command, bool portGiven, bool sim,
                             std::ostream& err) {
    if (portGiven && typed.port.empty()) {
        // Left out, --port means the port at 0x378; given empty (a variable that was not set),
        // it means nothing, and the memory on some other port must not be taken for it.
        PrintError(err, "--port is empty; give the port's device (/dev/parport0, parport0) or "
                        "its base address (0x378, 0xd010, 888), or leave --port out for the port "
                        "at 0x378");
        return std::nullopt;
    }
    if (sim && portGiven) {
        PrintError(err, "--port and --sim exclude each other; give one of them");
        return std::nullopt;
    }
    Options options;
    options.command = command;
    const std::optional<PortChoice> choice = ParsePortChoice(typed.port);
    if (!sim && !choice) {
        PrintError(err, "--port " + typed.port + ": not a port; give a parallel port's device "
                                                 "(/dev/parport0, parport0) or base address "
                                                 "(0x378, 0xd010, 888), or a kernel I2C "
                                                 "adapter (/dev/i2c-1, i2c-1)");
        return std::nullopt;
    }
    const std::optional<ChipChoice> chip = CheckChip(typed, err);
    if (!chip) return std::nullopt;
    options.port = setup::PortRequest{choice.value_or(PortChoice{}), sim, typed.simImage, *chip};
    options.quiet = typed.quiet;
    options.force = typed.force;
    options.cable = typed.cable;
    // CLI11 lets only the three names through.
    options.speed = SpeedFromName(typed.speed).value_or(BusSpeed::Standard);
    options.file = typed.file;
    // CLI11 lets only the three names through.
    if (!typed.format.empty()) options.format = FormatFromName(typed.format);
    options.allPages = typed.all;
    options.verify = !typed.noVerify;
    if (command == Command::Erase) {
        const auto value = ParseByte(typed.value);
        if (!value) {
            PrintError(err, "--value " + typed.value + ": not a byte; give 0 to 255, in decimal "
                                                       "or as 0x00 to 0xff");
            return std::nullopt;
        }
        options.eraseValue = *value;
    }
    if (command == Command::Read && !options.file.empty()) {
        // "-" (stdout) has no extension to go by: binary unless --format names another.
        const auto f = options.format         ? options.format
                       : options.file == "-" ? ImageFormat::Binary
                                             : FormatFromExtension(options.file);
        if (!f) {
            PrintError(err, options.file + ": unknown file type; name the file .bin, .hex or "
                                           ".srec, or give --format");
            return std::nullopt;
        }
        options.outputFormat = *f;
    }
    if (!CheckRange(typed, command, *chip, options, err)) return std::nullopt;
    return options;
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err) {
    Words typed;
    CLI::App app{"Reads, scans and writes an I2C EEPROM (a 24c16 unless --chip names another)\n"
                 "wired to the PC parallel port.",
                 kProgram};
    app.set_version_flag("--version", std::string(kProgram) + " " + kVersion,
                         "Print the program's version and exit");
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.formatter(std::make_shared<HelpFormatter>());
    app.get_formatter()->label("SUBCOMMAND", "COMMAND");
    app.get_formatter()->column_width(22);
    app.require_subcommand(1);
    app.fallthrough();  // -q, --sim, --port also after the command, as in `read -o x.bin -q`
    CLI::Option* port = app.add_option("--port", typed.port, setup::kPortHelp)->type_name("PORT");
    CLI::Option* sim = app.add_option(
        "--sim", typed.simImage,
        "A simulated memory instead of a port: the demonstration contents, or\n"
        "with =IMAGE those of IMAGE (a binary of the chosen memory's size, or\n"
        "a HEX or S-record file that gives every byte), which write and erase\n"
        "update; it models the memory --chip names");
    sim->expected(0, 1);
    app.add_option("--cable", typed.cable,
                   "The cable: direct (the default), a built-in or user cable's name,\n"
                   "or a definition such as sda=~D1,scl=~D0,sda-in=S5 (see 'cables')")
        ->type_name("CABLE");
    app.add_option("--chip", typed.chip,
                   "The memory on the bus, 24c01 to 24cm02 ('lpt-eeprom-cli chips' lists\n"
                   "them); 24c16 when not given")
        ->type_name("NAME");
    app.add_option("--page", typed.page,
                   "The page size of its writes where the part differs from the table:\n"
                   "a power of two up to 256 and the memory's size")
        ->type_name("N");
    app.add_option("--pins", typed.pins,
                   "The levels of its address pins A2 A1 A0 as one number (A2 high = 4,\n"
                   "A1 = 2, A0 = 1); all low when not given, A2 high on the 24xx1025")
        ->type_name("N");
    app.add_option("--speed", typed.speed, kSpeedHelp)
        ->type_name("standard|fast|fast-plus")
        ->check(CLI::IsMember({"standard", "fast", "fast-plus"}).description(""));
    app.add_flag("--force", typed.force,
                 "On a kernel I2C adapter: write at 0x50-0x57 even on a PC's SMBus or\n"
                 "over contents that look like a memory module's SPD (see below)");
    app.add_flag("-q,--quiet", typed.quiet,
                 "Print only errors: no progress, no reports (a dump or a scan's\n"
                 "list still goes to stdout)");

    const auto format = [&typed](CLI::App* command) {
        command->add_option("--format", typed.format, "The file's format, whatever its extension")
            ->type_name("bin|ihex|srec")
            ->check(CLI::IsMember({"bin", "ihex", "srec"}).description(""));
    };
    const auto file = [&typed](CLI::App* command, const char* what) {
        command->add_option("FILE", typed.file, what)->type_name("")->required();
    };
    // The commands are listed in the footer with their syntax; the formatter's own list is hidden.
    CLI::App* scan = app.add_subcommand("scan", "List the address bytes that answer, one a line");
    const auto offset = [&typed](CLI::App* command, const char* what) {
        command->add_option("--offset", typed.offset, what)->type_name("A");
    };
    CLI::App* read = app.add_subcommand("read", "Read the whole memory into a file, or dump it");
    read->add_option("-o,--output", typed.file,
                     "The image file to write (- for stdout); a dump to stdout without")
        ->type_name("FILE");
    format(read);
    offset(read, "The first address to read (decimal or 0x hex); 0 when not given");
    read->add_option("--length", typed.length,
                     "How many bytes to read; up to the end of the memory when not given")
        ->type_name("N");
    CLI::App* write = app.add_subcommand("write", "Write an image file to the memory");
    file(write, "The image to write");
    offset(write, "The address a binary file goes to (it may then be shorter than the memory)");
    write->add_flag("--all", typed.all, "Write every page, also those that already hold the image");
    write->add_flag("--no-verify", typed.noVerify, "Do not read the pages written back");
    format(write);
    CLI::App* verify = app.add_subcommand("verify", "Compare the memory with an image file");
    file(verify, "The image to compare with");
    offset(verify, "The address a binary file is compared at");
    format(verify);
    CLI::App* erase = app.add_subcommand("erase", "Set every byte of the memory to one value");
    erase->add_option("--value", typed.value, "The byte: 0 to 255, or 0x00 to 0xff")
        ->type_name("BYTE")
        ->default_str("0xff");
    CLI::App* detect = app.add_subcommand(
        "detect", "Tell which memory is on the bus from reads alone; writes nothing");
    CLI::App* chips = app.add_subcommand("chips", "List the memories --chip knows");
    CLI::App* testCable = app.add_subcommand(
        "test-cable", "Drive each line of the cable and report which pin follows which");
    CLI::App* cables = app.add_subcommand("cables", "List the built-in and the user's cables");
    for (CLI::App* command : {scan, read, write, verify, erase, testCable, cables, detect, chips})
        command->group("");
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
        out << app.help();
        return {kStatusDone, {}};
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << '\n';
        return {kStatusDone, {}};
    } catch (const CLI::ParseError& e) {
        // A word where the command belongs that names none: CLI11 would only say that a command
        // is required.
        const std::vector<std::string> rest = app.remaining();
        if (app.get_subcommands().empty() && !rest.empty() && !rest.front().empty() &&
            rest.front()[0] != '-') {
            PrintError(err, UnknownCommand(rest.front()));
            return {kStatusUsage, {}};
        }
        std::string why = OneLine(e.what());
        // CLI11 speaks of subcommands; the help of this program calls them commands.
        for (size_t at; (at = why.find("subcommand")) != std::string::npos;)
            why.replace(at, 10, "command");
        PrintError(err, why + "; see " + kProgram + " --help");
        return {kStatusUsage, {}};
    }
    const std::string name = app.get_subcommands().front()->get_name();
    const auto named = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const CommandName& c) { return name == c.name; });
    std::optional<Options> options =
        Check(typed, named->command, port->count() > 0, sim->count() > 0, err);
    if (!options) return {kStatusUsage, {}};
    return {std::nullopt, *options};
}

}  // namespace lpt::cli
