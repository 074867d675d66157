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
    return {.clockPeriod = 10us, .sclLow = 4700ns,
            .sclHigh = 4000ns, .startHold = 4000ns,
            .startSetup = 4700ns, .stopSetup = 4000ns,
            .busFree = 4700ns, .dataSetup = 250ns};
}

LineTiming LineTiming::FastMode() {
    using namespace std::chrono_literals;
    return {.clockPeriod = 2500ns, .sclLow = 1300ns,
            .sclHigh = 600ns, .startHold = 600ns,
            .startSetup = 600ns, .stopSetup = 600ns,
            .busFree = 1300ns, .dataSetup = 100ns};
}

LineTiming LineTiming::FastModePlus() {
    using namespace std::chrono_literals;
    return {.clockPeriod = 1000ns, .sclLow = 500ns,
            .sclHigh = 260ns, .startHold = 260ns,
            .startSetup = 260ns, .stopSetup = 260ns,
            .busFree = 500ns, .dataSetup = 50ns};
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
