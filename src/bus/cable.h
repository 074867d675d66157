// The cable between the parallel port and the I2C bus, as data: which register bit drives SDA and
// SCL, which status bit reads SDA and (on some cables) SCL, and whether the cable inverts each.
//
// Everything here is at register level: the bits as the data (888), status (889) and control
// (890) registers hold them, with the port's own hardware inversions (BUSY, STROBE, AUTOFD,
// SELECTIN) already counted in. `inverted` means the line's level is the inverse of its register
// bit, for an output as for an input: an inverted line set high clears its bit, and an inverted
// input reads high when its bit is 0.
//
// Built-in cables: `direct` (the default: SDA out D0 pin 2, SCL out C2 pin 16 INIT, SDA in S3
// pin 15 ERROR), the adapter types of the kernel's parallel-port I2C bus driver by name and as
// type0..type8, and `easyi2c`. A custom cable is written "sda=~D1,scl=~D0,sda-in=S5,scl-in=S4";
// a user file (~/.config/lpt-eeprom/cables.conf) gives such definitions names of their own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bus/port.h"

namespace lpt {

// One line's register bit. An unwired line has port 0.
struct LineBit {
    int port = 0;
    int bit = 0;
    bool inverted = false;

    bool Wired() const { return port != 0; }
    bool operator==(const LineBit&) const = default;
};

// A bit some adapters need set (or cleared) before they work: their supply comes from data pins.
struct PowerBit {
    int port;
    int bit;
    bool one;  // the register bit's value while the adapter is powered
    bool operator==(const PowerBit&) const = default;
};

struct Cable {
    std::string name;  // "direct", "philips", a user name, or the definition as typed
    LineBit sdaOut;
    LineBit sclOut;
    LineBit sdaIn;
    LineBit sclIn;                // not wired on most cables: no clock stretching then
    std::vector<PowerBit> power;  // written once, before the first line change
    std::string note;             // what the built-in is, for `cables`

    // "sda=D0,scl=C2,sda-in=S3" (and ",scl-in=..." when wired).
    std::string Definition() const;
    bool SameWiring(const Cable& other) const {
        return sdaOut == other.sdaOut && sclOut == other.sclOut && sdaIn == other.sdaIn &&
               sclIn == other.sclIn && power == other.power;
    }
};

// Today's wiring: SDA out D0 (pin 2), SCL out C2 (pin 16, INIT), SDA in S3 (pin 15, ERROR).
Cable DirectCable();
// Every built-in cable, `direct` first, then the kernel driver's types 0 to 8, then `easyi2c`.
const std::vector<Cable>& BuiltinCables();
// "type3" for a kernel driver type's cable, empty for the others.
std::string TypeAlias(const Cable& cable);

// "D0" / "~S3".
std::string BitName(const LineBit& line);
// The connector pin of a register bit: D0-D7 pins 2-9, C0 1, C1 14, C2 16, C3 17, S3 15, S4 13,
// S5 12, S6 10, S7 11.
int PinNumber(int port, int bit);
// "D0, pin 2" / "C2 INIT, pin 16" / "S3 ERROR, pin 15" (the inversion is not said).
std::string PinText(int port, int bit);
std::string PinText(const LineBit& line);
// "2, 15, 16": the connector pins of the cable's lines (SDA out, SDA in, SCL out, SCL in), as
// messages ask the user to check them.
std::string CablePins(const Cable& cable);

// Line level <-> register bit, the one place that knows about inversion. Touches only that bit.
void DriveLine(Port& port, const LineBit& line, bool high);
// The line's level from one read of its bit; any nonzero 16-bit sample counts as a 1 bit.
bool ReadLine(Port& port, const LineBit& line);

// A definition ("sda=~D1,scl=~D0,sda-in=S5[,scl-in=S4]") read into a cable named `name`.
// Throws UserError (ErrorKind::Usage) naming the part that cannot be used.
Cable ParseCableDefinition(const std::string& name, const std::string& definition);

// A named definition from the user's file.
struct UserCable {
    std::string name;
    std::string definition;
    int line = 0;
};
// Where the user's cables are: $XDG_CONFIG_HOME/lpt-eeprom/cables.conf, else
// $HOME/.config/lpt-eeprom/cables.conf; empty when neither variable is set.
std::string UserCablesPath();
// The file's "name = definition" lines ('#' starts a comment). A missing file is no cables;
// a line that is not "name = definition" throws UserError (Usage) naming the file and line.
std::vector<UserCable> ReadUserCables(const std::string& path);

// What --cable names: a definition (it holds '='), a built-in name or type number, or a name
// from the user's file at `userFile`. Throws UserError (Usage) listing the known names.
Cable ChooseCable(const std::string& choice, const std::string& userFile = UserCablesPath());

}  // namespace lpt
