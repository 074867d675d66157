// Which parallel port to drive: the choice the user makes with --port.
#pragma once

#include <optional>
#include <string>

namespace lpt {

// What the user named with --port: "/dev/parportN", "parportN", or a base address "0x378",
// "0xd010" (hex with 0x) or decimal "888". Empty text = the default, the port at 0x378.
struct PortChoice {
    enum class Kind { Default, Device, Base };
    Kind kind = Kind::Default;
    std::string device;   // Kind::Device: "/dev/parportN"
    long base = 0x378;    // Kind::Base and Kind::Default
    std::string Text() const;  // as the user would write it: "0x378", "/dev/parport1"
};

// Nothing when the text is none of the forms above (the caller then reports a usage error).
std::optional<PortChoice> ParsePortChoice(const std::string& text);

}  // namespace lpt
