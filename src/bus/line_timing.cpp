#include "bus/port.h"

#include <algorithm>

namespace lpt {

bool LineTiming::IsZero() const {
    using std::chrono::nanoseconds;
    return clockPeriod == nanoseconds::zero() && sclLow == nanoseconds::zero() &&
           sclHigh == nanoseconds::zero() && startHold == nanoseconds::zero() &&
           startSetup == nanoseconds::zero() && stopSetup == nanoseconds::zero() &&
           busFree == nanoseconds::zero() && dataSetup == nanoseconds::zero();
}

LineTiming LineTiming::StandardMode() {
    using namespace std::chrono_literals;
    LineTiming t;
    t.clockPeriod = 10us;
    t.sclLow = 4700ns;
    t.sclHigh = 4000ns;
    t.startHold = 4000ns;
    t.startSetup = 4700ns;
    t.stopSetup = 4000ns;
    t.busFree = 4700ns;
    t.dataSetup = 250ns;
    return t;
}

LineTiming LineTiming::FastMode() {
    using namespace std::chrono_literals;
    LineTiming t;
    t.clockPeriod = 2500ns;
    t.sclLow = 1300ns;
    t.sclHigh = 600ns;
    t.startHold = 600ns;
    t.startSetup = 600ns;
    t.stopSetup = 600ns;
    t.busFree = 1300ns;
    t.dataSetup = 100ns;
    return t;
}

LineTiming LineTiming::FastModePlus() {
    using namespace std::chrono_literals;
    LineTiming t;
    t.clockPeriod = 1000ns;
    t.sclLow = 500ns;
    t.sclHigh = 260ns;
    t.startHold = 260ns;
    t.startSetup = 260ns;
    t.stopSetup = 260ns;
    t.busFree = 500ns;
    t.dataSetup = 50ns;
    return t;
}

LineTiming LineTiming::For(BusSpeed speed) {
    switch (speed) {
        case BusSpeed::Standard: return StandardMode();
        case BusSpeed::Fast: return FastMode();
        case BusSpeed::FastPlus: return FastModePlus();
    }
    return StandardMode();
}

int ClockOnPortKHz(BusSpeed speed, std::chrono::nanoseconds callCost) {
    const std::chrono::nanoseconds bit = std::max(LineTiming::For(speed).clockPeriod, 3 * callCost);
    return static_cast<int>(1'000'000 / bit.count());
}

}  // namespace lpt
