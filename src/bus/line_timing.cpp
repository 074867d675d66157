#include "bus/port.h"

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

}  // namespace lpt
