// A port that takes its time over every call, as the real one does: each call to the ppdev port
// is a system call of about 1.5 us. The time is spun on the monotonic clock before the call goes
// on to the port it wraps, so the line changes when the call returns.
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
        Spend();
        inner_.SetPortBit(port, bit);
    }
    void ClrPortBit(int port, int bit) override {
        Spend();
        inner_.ClrPortBit(port, bit);
    }
    std::int32_t GetPortBit(int port, int bit) override {
        Spend();
        return inner_.GetPortBit(port, bit);
    }
    LineTiming Timing() const override { return inner_.Timing(); }
    bool EverOpened() const override { return inner_.EverOpened(); }

private:
    void Spend() const {
        if (cost_ <= TimeNs{0}) return;
        const auto until = std::chrono::steady_clock::now() + cost_;
        while (std::chrono::steady_clock::now() < until) {
        }
    }
    Port& inner_;
    TimeNs cost_;
};

}  // namespace lpt::testing
