// lpt-eeprom-cli's command line: CLI11 reads it into Options, with the help and its footer, and
// refuses here everything the command line alone can get wrong, before any file or port is
// touched.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "common/bus_speed.h"
#include "image/image_file.h"
#include "setup/port_setup.h"

namespace lpt::cli {

enum class Command { Scan, Read, Write, Verify, Erase, TestCable, Cables, Chips, Detect };

struct Options {
    Command command = Command::Scan;
    setup::PortRequest port;  // --port, or --sim[=IMAGE]; the memory (--chip, --page, --pins)
    bool quiet = false;
    bool force = false;                 // --force: a kernel adapter's writes at 0x50-0x57 allowed
    std::string cable = "direct";       // --cable: a name or a definition, chosen at the run
    BusSpeed speed = BusSpeed::Standard;  // --speed
    std::string file;                   // write, verify: FILE; read: -o FILE, empty for the dump
    std::optional<ImageFormat> format;  // --format
    // read -o: --format, else the file's extension; binary for stdout.
    ImageFormat outputFormat = ImageFormat::Binary;
    bool allPages = false;           // write --all
    bool verify = true;              // write without --no-verify
    std::uint8_t eraseValue = 0xFF;  // erase --value
    // read, write, verify --offset: the first address of the memory the command works on (for
    // write and verify, where a binary file goes); checked to lie inside the chosen memory.
    std::optional<int> offset;
    // read --length: how many bytes; with --offset alone, up to the end of the memory.
    std::optional<int> length;
};

struct ParsedOptions {
    std::optional<int> exitStatus;  // set: the help, the version or the refusal is printed
    Options options;
};

// Reads the arguments (without the program name). --help and --version go to `out`, a refusal
// to `err` as one line.
ParsedOptions ParseOptions(const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err);

}  // namespace lpt::cli
