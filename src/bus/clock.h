// Monotonic time for the bus waits, the timed pause and the simulated memory's write cycle.
#pragma once

#include <chrono>
#include <functional>

namespace lpt {

using TimeNs = std::chrono::nanoseconds;
// A reading of a monotonic clock; only differences between readings mean anything.
using ClockFn = std::function<TimeNs()>;

// std::chrono::steady_clock (CLOCK_MONOTONIC): never jumps, never goes back, ignores midnight.
TimeNs SteadyNow();

// A virtual clock for tests: every reading moves it on by `step`, so a wait loop that polls it
// always ends, and runs the same way on a loaded machine as on an idle one.
class SteppingClock {
public:
    explicit SteppingClock(TimeNs step = TimeNs{0}, TimeNs start = TimeNs{1'000'000'000})
        : now_(start), step_(step) {}
    TimeNs operator()() {
        TimeNs t = now_;
        now_ += step_;
        return t;
    }
    void Advance(TimeNs by) { now_ += by; }
    TimeNs Peek() const { return now_; }
    void SetStep(TimeNs step) { step_ = step; }
    // A ClockFn that reads this clock (which must outlive it).
    ClockFn Fn() {
        return [this] { return (*this)(); };
    }

private:
    TimeNs now_;
    TimeNs step_;
};

}  // namespace lpt
