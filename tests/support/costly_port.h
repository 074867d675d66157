// A port that takes its time over every call, as the real one does: each register access of the
// ppdev port is an ioctl of about 1.5 us. Like the ppdev port, it skips the ioctl of a write that
// would not change the register (the bit already holds the value), so such a call costs nothing.
// A call lasts the cost in all, whatever the port it wraps spends itself (the simulated memory's
// work stands for what happens inside the driver): the time is spun on the monotonic clock, from
// the call's entry, after the wrapped call. The bus driver counts its waits from the return.
#pragma once

#include <chrono>
#include <cstdint>

#include "bus/clock.h"
#include "bus/port.h"

namespace lpt::testing {

class CostlyPort : public Port {
public:
    CostlyPort(Port& inner, TimeNs cost) : inner_(inner), cost_(cost) {}
    void SetPortBit(int port, int bit) override {
        const auto entry = std::chrono::steady_clock::now();
        inner_.SetPortBit(port, bit);
        if (Changes(port, bit, true)) SpendFrom(entry);
    }
    void ClrPortBit(int port, int bit) override {
        const auto entry = std::chrono::steady_clock::now();
        inner_.ClrPortBit(port, bit);
        if (Changes(port, bit, false)) SpendFrom(entry);
    }
    std::int32_t GetPortBit(int port, int bit) override {
        const auto entry = std::chrono::steady_clock::now();
        const std::int32_t value = inner_.GetPortBit(port, bit);
        SpendFrom(entry);
        return value;
    }
    LineTiming Timing() const override { return inner_.Timing(); }
    bool EverOpened() const override { return inner_.EverOpened(); }

private:
    // Whether a write of `one` to the bit changes the register, remembering it from now on.
    bool Changes(int port, int bit, bool one) {
        const int slot = (port == Wiring::kSdaOut.port ? 0 : 8) + (bit & 7);
        const int value = one ? 1 : 0;
        const bool changes = written_[slot] != value;
        written_[slot] = value;
        return changes;
    }
    void SpendFrom(std::chrono::steady_clock::time_point entry) const {
        if (cost_ <= TimeNs{0}) return;
        const auto until = entry + cost_;
        while (std::chrono::steady_clock::now() < until) {
        }
    }
    Port& inner_;
    TimeNs cost_;
    int written_[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

}  // namespace lpt::testing
