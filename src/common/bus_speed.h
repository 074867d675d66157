// The clock rates the bus can be driven at. Standard mode (100 kHz) is what every two-wire memory
// takes; fast mode (400 kHz) and fast mode plus (1 MHz) only where the part allows it at its
// supply voltage. The minima of each are LineTiming's (bus/port.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>


namespace lpt {

enum class BusSpeed { Standard, Fast, FastPlus };

// "standard", "fast", "fast-plus": as --speed takes it and the settings store it.
const char* SpeedName(BusSpeed speed);
// "100 kHz", "400 kHz", "1 MHz".
const char* SpeedRate(BusSpeed speed);
// By name, exactly as SpeedName gives it (any case); nothing for anything else.
std::optional<BusSpeed> SpeedFromName(std::string_view name);

struct Chip;

// The command-line program's warning for a mode above the fastest the chip's datasheet gives:
// nothing when the chip takes it. Not a refusal: parts differ with their supply voltage. (The
// window says it in its own words, with its menu.)
std::optional<std::string> SpeedAboveChip(BusSpeed speed, const Chip& chip);

// The command-line program's remedy after a read-back or a verify that failed at fast or fast
// plus: nothing at standard.
std::optional<std::string> SpeedDoubt(BusSpeed speed);

}  // namespace lpt
