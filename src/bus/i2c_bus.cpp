#include "bus/i2c_bus.h"

#include <algorithm>

namespace lpt {

namespace {

// A deadline counted from a line change that may never have happened.
TimeNs After(TimeNs event, TimeNs minimum) {
    return event == TimeNs::min() ? TimeNs::min() : event + minimum;
}

}  // namespace

I2CBus::I2CBus(Port& port, ClockFn clock)
    : port_(port), clock_(std::move(clock)), timing_(port.Timing()), timed_(!timing_.IsZero()) {}

void I2CBus::WaitUntil(TimeNs deadline) {
    if (deadline == TimeNs::min()) return;
    // The waits are a few microseconds: far below what a sleep can resolve, so spin on the
    // clock. Each wait ends as soon as its deadline has passed.
    while (clock_() < deadline) {
    }
}

void I2CBus::SetSDA(const Bool16& level) {
    const bool high = level != 0;
    const bool change = sda_ != (high ? 1 : 0);
    if (timed_ && change && scl_ == 1) {
        if (high) {
            // Stop: SCL must have been high for the stop set-up time.
            WaitUntil(After(lastSclRise_, timing_.stopSetup));
        } else {
            // Start: repeated-start set-up after SCL rose, and bus free time after a stop.
            WaitUntil(std::max(After(lastSclRise_, timing_.startSetup),
                               After(lastStop_, timing_.busFree)));
        }
    }
    if (high)
        port_.SetPortBit(Wiring::kSdaOut.port, Wiring::kSdaOut.bit);
    else
        port_.ClrPortBit(Wiring::kSdaOut.port, Wiring::kSdaOut.bit);
    if (timed_ && change) {
        const TimeNs now = clock_();
        lastSdaChange_ = now;
        if (scl_ == 1) (high ? lastStop_ : lastStart_) = now;
    }
    sda_ = high ? 1 : 0;
}

void I2CBus::SetSCL(const Bool16& level) {
    const bool high = level != 0;
    const bool change = scl_ != (high ? 1 : 0);
    if (timed_ && change) {
        if (high) {
            // Low time, clock period and data set-up before the rising edge.
            WaitUntil(std::max({After(lastSclFall_, timing_.sclLow),
                                After(lastSclRise_, timing_.clockPeriod),
                                After(lastSdaChange_, timing_.dataSetup)}));
        } else {
            // High time, and start hold time after a start condition.
            WaitUntil(std::max(After(lastSclRise_, timing_.sclHigh),
                               After(lastStart_, timing_.startHold)));
        }
    }
    if (high)
        port_.SetPortBit(Wiring::kSclOut.port, Wiring::kSclOut.bit);
    else
        port_.ClrPortBit(Wiring::kSclOut.port, Wiring::kSclOut.bit);
    if (timed_ && change) (high ? lastSclRise_ : lastSclFall_) = clock_();
    scl_ = high ? 1 : 0;
}

void I2CBus::WriteBit(const Bool16& bit) {
    SetSDA(bit);
    SetSCL(kTrue);
    SetSCL(kFalse);
}

Bool16 I2CBus::ReadBit() {
    SetSDA(kTrue);
    SetSCL(kTrue);
    const Bool16 bit = SenseSDA();
    SetSCL(kFalse);
    return bit;
}

void I2CBus::I2CStart() {
    inTransaction_ = true;
    SetSDA(kTrue);
    SetSCL(kTrue);
    SetSDA(kFalse);
    SetSCL(kFalse);
}

void I2CBus::I2CStop() {
    SetSCL(kFalse);
    SetSDA(kFalse);
    SetSCL(kTrue);
    SetSDA(kTrue);
    inTransaction_ = false;  // only once the stop is really on the wire
}

Bool16 I2CBus::SenseSDA() {
    const std::int32_t sample = port_.GetPortBit(Wiring::kSdaIn.port, Wiring::kSdaIn.bit);
    return static_cast<std::int16_t>(sample & 0xFFFF) != 0 ? kTrue : kFalse;
}

void I2CBus::WriteByte(const std::uint8_t& value) {
    for (int i = 7; i >= 0; --i) {
        const Bool16 bit = (value & (1 << i)) != 0 ? kTrue : kFalse;
        WriteBit(bit);
    }
    // Ninth clock: SDA released, the receiver pulls it low to acknowledge.
    const Bool16 nack = ReadBit();
    Ack = nack == kFalse ? 1 : 0;
}

std::uint8_t I2CBus::ReadByte() {
    int value = 0;
    for (int i = 7; i >= 0; --i) {
        if (ReadBit() != kFalse) value += 1 << i;
    }
    if (Ack == 1) {
        // Acknowledge: one clock with SDA low, then let SDA go.
        WriteBit(kFalse);
        SetSDA(kTrue);
    }
    // Otherwise no ninth clock at all: the caller's stop follows directly.
    return static_cast<std::uint8_t>(value);
}

}  // namespace lpt
