// Which memory is on the bus, as far as reads can tell: which device addresses answer, whether
// the part takes one word address byte or two, and how big it is.
//
// Nothing here writes. Every probe is a read (a start, the device byte with R/W 1, one byte read
// without an acknowledge, a stop): never an address-only write, on which some memories store.
// A word address sent for a read is followed by a repeated start, never by a stop, so no write
// cycle can begin. Each finding says whether it is certain or a guess; "cannot tell" is an
// answer too.
#pragma once

#include <cstdint>
#include <vector>

#include "bus/clock.h"
#include "bus/i2c_bus.h"
#include "common/chips.h"
#include "common/user_error.h"
#include "operations/memory_bus.h"

namespace lpt {

struct DetectFinding {
    enum class Label {
        Certain,     // what the bus showed
        Guess,       // from contents, which may repeat by chance
        CannotTell,  // the reads could not decide
    };
    Label label;
    Wording text;  // one line in each language
};

struct DetectReport {
    std::vector<std::uint8_t> answering;  // device bytes (R/W 0) of 0xA0..0xAE that answered
    int addressBytes = 0;                 // word address bytes: 1, 2, or 0 when it cannot tell
    std::vector<const Chip*> candidates;  // the parts that fit, the likeliest first
    std::vector<DetectFinding> findings;  // what was seen and what it tells, in order
};

// Starts with the bus check (BusError when SDA stays low). Reads `memory` with the addressing
// each test needs; the part it was set to is restored at the end.
DetectReport Detect(MemoryBus& memory);
// The same on the bus procedures' lines.
DetectReport Detect(I2CBus& bus, const ClockFn& clock = SteadyNow);

}  // namespace lpt
