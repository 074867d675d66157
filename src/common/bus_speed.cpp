#include "common/bus_speed.h"

#include <algorithm>
#include <cctype>

#include "common/chips.h"

namespace lpt {

namespace {

constexpr BusSpeed kSpeeds[] = {BusSpeed::Standard, BusSpeed::Fast, BusSpeed::FastPlus};

}  // namespace

const char* SpeedName(BusSpeed speed) {
    switch (speed) {
        case BusSpeed::Standard: return "standard";
        case BusSpeed::Fast: return "fast";
        case BusSpeed::FastPlus: return "fast-plus";
    }
    return "standard";
}

const char* SpeedRate(BusSpeed speed) {
    switch (speed) {
        case BusSpeed::Standard: return "100 kHz";
        case BusSpeed::Fast: return "400 kHz";
        case BusSpeed::FastPlus: return "1 MHz";
    }
    return "100 kHz";
}

std::optional<BusSpeed> SpeedFromName(std::string_view name) {
    for (BusSpeed speed : kSpeeds) {
        const std::string_view known = SpeedName(speed);
        if (known.size() == name.size() &&
            std::equal(known.begin(), known.end(), name.begin(), [](char a, char b) {
                return a == std::tolower(static_cast<unsigned char>(b));
            }))
            return speed;
    }
    return std::nullopt;
}

std::optional<std::string> SpeedAboveChip(BusSpeed speed, const Chip& chip) {
    if (speed <= chip.fastest) return std::nullopt;
    return "--speed " + std::string(SpeedName(speed)) + " (" + SpeedRate(speed) +
           ") is above the " + SpeedRate(chip.fastest) + " the " + chip.name +
           " datasheet gives; it may work at its supply voltage, else give --speed " +
           SpeedName(chip.fastest) + " or standard";
}

std::optional<std::string> SpeedDoubt(BusSpeed speed) {
    if (speed == BusSpeed::Standard) return std::nullopt;
    return "the bus at " + std::string(SpeedRate(speed)) +
           " may be too fast for the cable or the memory's supply; try again with --speed "
           "standard";
}

}  // namespace lpt
