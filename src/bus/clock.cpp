#include "bus/clock.h"

namespace lpt {

TimeNs SteadyNow() {
    return std::chrono::duration_cast<TimeNs>(std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace lpt
