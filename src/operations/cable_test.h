// The cable test: with no memory needed, it drives each output line the cable uses low and high
// (SCL low while SDA moves, so never a start or a stop), reads every status bit (3-7) after each
// step, and says line by line which input followed which output. Then the bus check, a scan, and
// the port's call time. The report is plain text a user can paste into a question.
#pragma once

#include <string>
#include <vector>

#include "bus/clock.h"
#include "bus/i2c_bus.h"

namespace lpt {

struct CableTestReport {
    std::vector<std::string> lines;
    bool works = false;  // the cable works as chosen: its inputs follow its outputs, bus check ok
    std::string Text() const;  // the lines, each ended by '\n'
};

// Runs the test on `bus` (a bus on `port` through the cable under test; at rest or never used).
// Port failures are thrown (PortError); bus failures are part of the report.
CableTestReport TestCable(Port& port, I2CBus& bus, const ClockFn& clock);

}  // namespace lpt
