// A bus with the simulated memory on it, the grid, a recording Feedback and a pause on a
// virtual clock: everything an operation needs, without a window.
#pragma once

#include <cstdio>
#include <string>

#include "bus/i2c_bus.h"
#include "operations/dump_grid.h"
#include "operations/timed_pause.h"
#include "support/fake_feedback.h"
#include "support/sim_bus.h"

namespace lpt::testing {

inline std::string Hex2(int v) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
    return buf;
}

struct BusRig : SimBus {
    I2CBus bus{port};
    DumpGrid grid;
    FakeFeedback feedback;
    std::function<void()> duringPause;  // runs at every event-processing turn of a pause
    // Every clock reading moves virtual time on by 100 us: a 5 ms pause takes about 25 turns.
    TimedPause pause{clock.Fn(), [this] {
                         if (duringPause) duringPause();
                     }};

    explicit BusRig(bool memoryPresent = true)
        : SimBus(memoryPresent,
                 [](int a) { return static_cast<std::uint8_t>((a * 37 + 11) ^ (a >> 8)); }) {
        bus.SetSDA(kTrue);
        bus.SetSCL(kTrue);
        port.ClearCalls();
        port.ResetCounters();
    }
};

}  // namespace lpt::testing
