// A port on a virtual clock that counts port calls: the clock stands still except that every
// call that reaches the register moves it on by the call's cost, and each reading of the clock by
// what a reading costs (10 ns unless told; the bench gives it what a reading of the monotonic
// clock takes on the machine), so a wait ends just past its deadline. What the bus driver takes
// on it is the least its calls, its clock readings and its waits allow: its floor. Like the ppdev
// port, a write that would not change the register costs nothing.
#pragma once

#include <chrono>
#include <cstdint>

#include "bus/clock.h"
#include "bus/port.h"

namespace lpt::testing {

class FloorPort : public Port {
public:
    FloorPort(Port& inner, TimeNs cost) : FloorPort(inner, cost, own_) {}
    // Keeps its time in `now`, which the wrapped port may read to stamp its calls.
    FloorPort(Port& inner, TimeNs cost, TimeNs& now) : inner_(inner), cost_(cost), now_(now) {}
    void SetPortBit(int port, int bit) override { Write(port, bit, true); }
    void ClrPortBit(int port, int bit) override { Write(port, bit, false); }
    std::int32_t GetPortBit(int port, int bit) override {
        now_ += cost_;
        return inner_.GetPortBit(port, bit);
    }
    LineTiming Timing() const override { return inner_.Timing(); }
    // The clock for the bus driver: every reading moves it on by the reading's cost.
    ClockFn Clock() {
        return [this] { return now_ += reading_; };
    }
    // What each reading of Clock() costs from now on.
    void ChargeReadings(TimeNs reading) { reading_ = reading; }
    TimeNs Now() const { return now_; }

private:
    void Write(int port, int bit, bool one) {
        const int slot = (port == Wiring::kSdaOut.port ? 0 : 8) + (bit & 7);
        if (written_[slot] != (one ? 1 : 0)) now_ += cost_;
        written_[slot] = one ? 1 : 0;
        one ? inner_.SetPortBit(port, bit) : inner_.ClrPortBit(port, bit);
    }
    Port& inner_;
    TimeNs cost_;
    TimeNs reading_{std::chrono::nanoseconds(10)};
    TimeNs own_{1'000'000'000};
    TimeNs& now_;
    int written_[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

}  // namespace lpt::testing
