// Which parallel port to drive: the choice the user makes with --port.
#pragma once

#include <optional>
#include <string>

namespace lpt {

// What the user named with --port: "/dev/parportN", "parportN", or a base address "0x378",
// "0xd010" (hex with 0x) or decimal "888"; or a kernel I2C adapter, "/dev/i2c-N" or "i2c-N".
// Empty text = the default, the parallel port at 0x378.
struct PortChoice {
    enum class Kind { Default, Device, Base, Adapter };
    Kind kind = Kind::Default;
    std::string device;   // Kind::Device: "/dev/parportN"
    long base = 0x378;    // Kind::Base and Kind::Default
    int adapter = -1;     // Kind::Adapter: N of /dev/i2c-N
    // As the user would write it: "0x378", "/dev/parport1", "/dev/i2c-7".
    std::string Text() const;
    bool IsAdapter() const { return kind == Kind::Adapter; }
};

// Nothing when the text is none of the forms above (the caller then reports a usage error).
std::optional<PortChoice> ParsePortChoice(const std::string& text);

}  // namespace lpt
