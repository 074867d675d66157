// The command line of the window programs, read before the window exists.
//
// --help and --version print and end the program without a window and without a display.
// An unknown option, a --port that names no parallel port, a --lang that names no language of
// the window, a --cable that names no cable (a built-in, a user cable or a definition; see
// bus/cable.h), a --chip, --page or --pins the chip table refuses, a --speed that names no bus
// mode, or an argument too many prints the reason and the usage on stderr and ends the
// program with status 2. Qt's own standard options
// (-platform, -style, -reverse ...) pass untouched: QApplication reads argv again afterwards.
#pragma once

#include <optional>
#include <string>

#include "bus/cable.h"
#include "bus/port_choice.h"
#include "common/chips.h"
#include "ui/language.h"

namespace lpt::app {

// Exit status of a command line that cannot be used.
constexpr int kUsageStatus = 2;

struct ProgramInfo {
    const char* name;         // "lpt-eeprom": the usage line and the first word of --version
    const char* description;  // one sentence under the usage line
    bool takesPort = false;   // --port PORT
    bool takesImage = false;  // one optional IMAGE argument
};

struct CommandLine {
    std::optional<int> exitStatus;  // set: everything is printed; end with this, open no window
    PortChoice port;                  // --port, or the default port when it is not given
    std::string image;              // IMAGE, empty when not given
    std::optional<ui::Language> language;  // --lang; when not given, the desktop's decides
    Cable cable = DirectCable();    // --cable, the direct cable when not given
    // --chip with --page and --pins; when not given, the choice the window remembers decides.
    std::optional<ChipChoice> chip;
    std::optional<BusSpeed> speed;  // --speed, for this run only; when not given, the menu's
    bool force = false;  // --force: a kernel adapter's writes at 0x50-0x57 allowed
};

// Reads argv (leaves it as it is) and prints the help, the version or the error itself. Makes
// and destroys its own QCoreApplication, so call it before the QApplication exists.
CommandLine ParseCommandLine(int argc, char* argv[], const ProgramInfo& program);

}  // namespace lpt::app
