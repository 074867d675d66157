// A bus with the simulated memory on it, the grid and a pause on a virtual clock: everything an
// operation needs, without a window.
#pragma once

#include <functional>
#include <string>

#include "bus/i2c_bus.h"
#include "operations/dump_grid.h"
#include "operations/hex_text.h"
#include "operations/timed_pause.h"
#include "support/sim_bus.h"

namespace lpt::testing {

// The tests spell bytes on the wire as the trace does.
inline std::string Hex2(int v) { return ByteHex(v); }

struct BusRig : SimBus {
    I2CBus bus{port};
    DumpGrid grid;
    std::function<void()> duringPause;  // runs at every event-processing turn of a pause
    // Every clock reading moves virtual time on by 100 us: a 5 ms pause takes about 25 turns.
    TimedPause pause{clock.Fn(), [this] {
                         if (duringPause) duringPause();
                     }};

    // `chip`: the part on the bus (the 24c16 by default).
    explicit BusRig(bool memoryPresent = true, const ChipChoice& chip = {})
        : SimBus(memoryPresent,
                 [](int a) { return static_cast<std::uint8_t>((a * 37 + 11) ^ (a >> 8)); },
                 std::chrono::microseconds(100), chip) {
        bus.SetSDA(kTrue);
        bus.SetSCL(kTrue);
        port.ClearCalls();
        port.ResetCounters();
    }
};

}  // namespace lpt::testing
