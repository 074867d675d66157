#include "operations/timed_pause.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace lpt {

TimedPause::TimedPause(ClockFn clock, std::function<void()> processEvents,
                       std::function<void(TimeNs)> idle)
    : clock_(std::move(clock)), processEvents_(std::move(processEvents)), idle_(std::move(idle)) {}

TimeNs PauseLength(float seconds) {
    if (!(seconds > 0.0f)) return TimeNs{0};
    // Round up, so that the single-precision 0.005 (4999999.89 ns) waits the whole 5 ms.
    const double ns = std::ceil(static_cast<double>(seconds) * 1e9);
    if (ns > 1e15) return TimeNs{static_cast<TimeNs::rep>(1e15)};  // eleven days is plenty
    return TimeNs{static_cast<TimeNs::rep>(ns)};
}

void TimedPause::Pause(const float& seconds) {
    if (cancelled_) throw OperationCancelled();
    const TimeNs start = clock_();
    struct Depth {
        TimedPause& p;
        explicit Depth(TimedPause& pause) : p(pause) { ++p.depth_; }
        ~Depth() { --p.depth_; }
    } depth(*this);
    for (;;) {
        const TimeNs now = clock_();
        const TimeNs deadline = start + PauseLength(seconds);
        latestDeadline_ = std::max(latestDeadline_, deadline);
        if (!(now < deadline)) return;
        if (processEvents_) processEvents_();
        if (cancelled_) throw OperationCancelled();
        if (idle_) idle_(deadline - now);
    }
}

void TimedPause::Settle() {
    if (latestDeadline_ == TimeNs::min()) return;
    for (;;) {
        const TimeNs now = clock_();
        if (!(now < latestDeadline_)) return;
        if (idle_) idle_(latestDeadline_ - now);
    }
}

}  // namespace lpt

namespace lpt {

void SleepBriefly(TimeNs remaining) {
    std::this_thread::sleep_for(std::min<TimeNs>(remaining / 2, std::chrono::microseconds(200)));
}

}  // namespace lpt
