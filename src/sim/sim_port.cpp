#include "sim/sim_port.h"

#include <algorithm>
#include <utility>

namespace lpt::sim {

namespace {

// Devices answer a line change with at most one change of their own (an acknowledge or a data
// bit after SCL falls), so the wire settles within a couple of rounds. The bound only guards
// against a device that keeps toggling SDA in reply to its own changes.
constexpr int kMaxSettleRounds = 16;

[[noreturn]] void RefusePin(const char* what, int port, int bit) {
    throw PortError(std::string("The simulated port has no ") + what + " on port " +
                    std::to_string(port) + " bit " + std::to_string(bit) +
                    ": only SDA out (888 bit 0), SCL out (890 bit 2) and SDA in (889 bit 3) "
                    "are wired.");
}

bool Is(const lpt::LineBit& line, int port, int bit) {
    return line.Wired() && line.port == port && line.bit == bit;
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

void SimPort::Wire(const lpt::Cable& cable) {
    cable_ = cable;
    wholePort_ = true;
    data_ = control_ = 0;
    for (const lpt::LineBit& out : {cable.sdaOut, cable.sclOut}) {
        if (out.inverted) continue;  // released = high = the bit set, unless inverted
        (out.port == lpt::kDataPort ? data_ : control_) |= 1u << out.bit;
    }
    Propagate();
}

bool SimPort::RegisterBit(int port, int bit) const {
    return (((port == lpt::kDataPort ? data_ : control_) >> bit) & 1) != 0;
}

bool SimPort::Master(const lpt::LineBit& line) const {
    return RegisterBit(line.port, line.bit) != line.inverted;
}

bool SimPort::Writable(int port, int bit) const {
    if (!wholePort_) return Is(cable_.sdaOut, port, bit) || Is(cable_.sclOut, port, bit);
    return (port == lpt::kDataPort && bit >= 0 && bit < 8) ||
           (port == lpt::kControlPort && bit >= 0 && bit < 4);
}

bool SimPort::Readable(int port, int bit) const {
    if (!wholePort_) return Is(cable_.sdaIn, port, bit);
    return port == lpt::kStatusPort && bit >= 3 && bit < 8;
}

bool SimPort::Scl() const {
    bool level = Master(cable_.sclOut);
    for (const BusDevice* device : devices_) {
        level = level && device->SclOut();
    }
    return level;
}

bool SimPort::Sda() const {
    bool level = Master(cable_.sdaOut);
    for (const BusDevice* device : devices_) {
        level = level && device->SdaOut();
    }
    return level;
}

void SimPort::SetPortBit(int port, int bit) { WriteOutput(port, bit, true); }

void SimPort::ClrPortBit(int port, int bit) { WriteOutput(port, bit, false); }

void SimPort::WriteOutput(int port, int bit, bool one) {
    CheckFailure();
    if (!Writable(port, bit)) RefusePin(one ? "output to set" : "output to clear", port, bit);
    unsigned& reg = port == lpt::kDataPort ? data_ : control_;
    reg = one ? (reg | (1u << bit)) : (reg & ~(1u << bit));
    ++writes_;
    Propagate();
    Record(one ? PortCall::Op::Set : PortCall::Op::Clr, port, bit, 0);
}

std::int32_t SimPort::GetPortBit(int port, int bit) {
    CheckFailure();
    if (!Readable(port, bit)) {
        RefusePin("input to read", port, bit);
    }
    ++reads_;
    // A device may have let go of SCL since the last call.
    Propagate();
    bool one;
    if (Is(cable_.sdaIn, port, bit)) {
        one = (sdaInOpen_ || Sda()) != cable_.sdaIn.inverted;
    } else if (Is(cable_.sclIn, port, bit)) {
        one = (sclInOpen_ || Scl()) != cable_.sclIn.inverted;
    } else {
        one = bit != 7;  // an open input: the pin floats high; the port inverts BUSY
    }
    const std::int32_t value = one ? 1 : 0;
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
        const bool scl = Scl();
        if (scl == lastScl_ && wire == lastSda_) {
            return;
        }
        lastScl_ = scl;
        lastSda_ = wire;
        for (BusDevice* device : devices_) {
            device->OnLines(scl, wire);
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
        calls_.push_back(PortCall{op, port, bit, result, Scl(), Sda(), now});
    }
}

}  // namespace lpt::sim
