#include "sim/sim_port.h"

#include <algorithm>
#include <utility>

namespace lpt::sim {

namespace {

// Devices answer a line change with at most one change of their own (an acknowledge or a data
// bit after SCL falls), so the wire settles within a couple of rounds. The bound only guards
// against a device that keeps toggling SDA in reply to its own changes.
constexpr int kMaxSettleRounds = 16;

bool IsPin(int port, int bit, PinRef pin) {
    return port == pin.port && bit == pin.bit;
}

[[noreturn]] void RefusePin(const char* what, int port, int bit) {
    throw PortError(std::string("The simulated port has no ") + what + " on port " +
                    std::to_string(port) + " bit " + std::to_string(bit) +
                    ": only SDA out (888 bit 0), SCL out (890 bit 2) and SDA in (889 bit 3) "
                    "are wired.");
}

}  // namespace

SimPort::SimPort(lpt::LineTiming declared, ClockFn clock)
    : declared_(declared), clock_(std::move(clock)) {}

void SimPort::Attach(BusDevice& device) {
    if (std::find(devices_.begin(), devices_.end(), &device) == devices_.end()) {
        devices_.push_back(&device);
    }
}

void SimPort::Detach(BusDevice& device) {
    devices_.erase(std::remove(devices_.begin(), devices_.end(), &device), devices_.end());
}

bool SimPort::Sda() const {
    bool level = masterSda_;
    for (const BusDevice* device : devices_) {
        level = level && device->SdaOut();
    }
    return level;
}

void SimPort::SetPortBit(int port, int bit) { WriteOutput(port, bit, true); }

void SimPort::ClrPortBit(int port, int bit) { WriteOutput(port, bit, false); }

void SimPort::WriteOutput(int port, int bit, bool one) {
    CheckFailure();
    if (IsPin(port, bit, Wiring::kSdaOut)) {
        masterSda_ = one;
    } else if (IsPin(port, bit, Wiring::kSclOut)) {
        scl_ = one;
    } else {
        RefusePin(one ? "output to set" : "output to clear", port, bit);
    }
    ++writes_;
    Propagate();
    Record(one ? PortCall::Op::Set : PortCall::Op::Clr, port, bit, 0);
}

std::int32_t SimPort::GetPortBit(int port, int bit) {
    CheckFailure();
    if (!IsPin(port, bit, Wiring::kSdaIn)) {
        RefusePin("input to read", port, bit);
    }
    ++reads_;
    const std::int32_t value = Sda() ? 1 : 0;
    Record(PortCall::Op::Get, port, bit, value);
    return value;
}

void SimPort::FailAfter(long okCalls, std::string message) {
    failAfter_ = okCalls;
    failOnce_ = false;
    failMessage_ = std::move(message);
}

void SimPort::FailOnce(long okCalls, std::string message) {
    FailAfter(okCalls, std::move(message));
    failOnce_ = true;
}

void SimPort::CheckFailure() {
    if (!failAfter_) {
        return;
    }
    if (*failAfter_ <= 0) {
        if (failOnce_) failAfter_.reset();
        throw PortError(failMessage_);
    }
}

void SimPort::Propagate() {
    for (int round = 0; round < kMaxSettleRounds; ++round) {
        const bool wire = Sda();
        if (scl_ == lastScl_ && wire == lastSda_) {
            return;
        }
        lastScl_ = scl_;
        lastSda_ = wire;
        for (BusDevice* device : devices_) {
            device->OnLines(scl_, wire);
        }
    }
}

void SimPort::Record(PortCall::Op op, int port, int bit, std::int32_t result) {
    // The clock is read on every call, recorded or not, so that a virtual clock shared with a
    // simulated memory moves on with the bus traffic the same way in both cases.
    const TimeNs now = clock_();
    // Only calls that got this far succeeded; a refused pin does not use up the countdown.
    if (failAfter_) {
        --*failAfter_;
    }
    if (recording_) {
        calls_.push_back(PortCall{op, port, bit, result, scl_, Sda(), now});
    }
}

}  // namespace lpt::sim
