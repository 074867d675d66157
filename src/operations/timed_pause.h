// The wait after every write transaction, which keeps the window alive meanwhile.
//
// The memory needs its internal write cycle (5 ms at most) after each stop condition before it
// answers again; the writes wait, and poll only a memory that is slower than the wait. The wait is measured on the monotonic
// clock, so it is never shorter than asked and always ends, whatever the time of day does.
// Pending window events are processed after every test that found the deadline not yet
// reached: never before the first test and never after the last. A request of zero or less
// ends at the first test without processing anything.
#pragma once

#include <functional>
#include <stdexcept>

#include "bus/clock.h"

namespace lpt {

// Thrown out of a pause once the window has gone: the running operation ends at that pause.
class OperationCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "operation cancelled: the window closed"; }
};

class TimedPause {
public:
    // `processEvents` handles pending window events and returns; `idle`, when given, is called
    // after it on every turn to give the processor back for a moment (at most `remaining`).
    TimedPause(ClockFn clock, std::function<void()> processEvents,
               std::function<void(TimeNs remaining)> idle = nullptr);

    // Waits at least `seconds` (read afresh at every test). Throws OperationCancelled when the
    // pause was cancelled before or during the wait.
    void Pause(const float& seconds);

    // An operation started from inside a pause (a click handled while a write waits) calls
    // this first: it waits, without processing events, until the deadline of every pause in
    // progress, or cut short by a cancel, has passed. The memory is then out of the write cycle
    // that the pause covers, so the next transaction is not refused and nothing it reads or
    // writes is lost. When no deadline is pending it returns at once.
    void Settle();
    bool Waiting() const { return depth_ > 0; }

    void SetIdle(std::function<void(TimeNs remaining)> idle) { idle_ = std::move(idle); }
    // The clock the pause runs on, for waits that must agree with it (acknowledge polling).
    const ClockFn& Clock() const { return clock_; }

    // From now on every pause ends at once with OperationCancelled. For the window's close.
    void Cancel() { cancelled_ = true; }
    bool Cancelled() const { return cancelled_; }

private:
    ClockFn clock_;
    std::function<void()> processEvents_;
    std::function<void(TimeNs)> idle_;
    bool cancelled_ = false;
    int depth_ = 0;               // pauses in progress (nested ones included)
    // The furthest deadline of any pause so far, kept when a pause ends early (cancelled): the
    // memory's write cycle does not end with the pause that covered it.
    TimeNs latestDeadline_{TimeNs::min()};
};

// What the window's pause does between two turns: sleeps a little (at most 200 us, and at most
// half of what remains), so that a wait does not keep a processor core busy for nothing.
void SleepBriefly(TimeNs remaining);

// The length of a requested wait, rounded up to whole nanoseconds; zero for zero or less.
TimeNs PauseLength(float seconds);

}  // namespace lpt
