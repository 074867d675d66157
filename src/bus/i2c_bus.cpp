#include "bus/i2c_bus.h"

#include <algorithm>

#include "bus/bus_error.h"

namespace lpt {

namespace {

// A deadline counted from a line change that may never have happened.
TimeNs After(TimeNs event, TimeNs minimum) {
    return event == TimeNs::min() ? TimeNs::min() : event + minimum;
}

}  // namespace

I2CBus::I2CBus(Port& port, ClockFn clock, Cable cable, BusSpeed speed)
    : port_(port), clock_(std::move(clock)), declared_(port.Timing()), cable_(std::move(cable)) {
    SetSpeed(speed);
}

void I2CBus::SetSpeed(BusSpeed speed) {
    speed_ = speed;
    // A port with no timing of its own (the simulated one) answers as fast as it is called.
    timing_ = speed == BusSpeed::Standard || declared_.IsZero() ? declared_
                                                                : LineTiming::For(speed);
    timed_ = !timing_.IsZero();
}

void I2CBus::PowerUp() {
    if (powered_) return;
    // Adapters that take their supply from data pins get it before the lines are driven.
    for (const PowerBit& p : cable_.power) {
        if (p.one)
            port_.SetPortBit(p.port, p.bit);
        else
            port_.ClrPortBit(p.port, p.bit);
    }
    powered_ = true;
}

void I2CBus::WaitUntil(TimeNs deadline) {
    if (deadline == TimeNs::min()) return;
    // The waits are a few microseconds: far below what a sleep can resolve, so spin on the
    // clock. Each wait ends as soon as its deadline has passed.
    while (clock_() < deadline) {
    }
}

void I2CBus::SetSDA(const Bool16& level) { SetLine(Line::Sda, level != 0); }

void I2CBus::SetSCL(const Bool16& level) { SetLine(Line::Scl, level != 0); }

void I2CBus::SetLine(Line line, bool high) {
    const bool sda = line == Line::Sda;
    int& driven = sda ? sda_ : scl_;
    const bool change = driven != (high ? 1 : 0);
    if (timed_ && change) WaitUntil(EarliestChange(line, high));
    PowerUp();
    DriveLine(port_, sda ? cable_.sdaOut : cable_.sclOut, high);
    if (!sda && high && change && cable_.sclIn.Wired()) {
        driven = 1;
        const TimeNs seen = AwaitSclHigh();
        if (timed_) NoteChange(line, high, seen == TimeNs::min() ? clock_() : seen);
        return;
    }
    if (timed_ && change) NoteChange(line, high, clock_());
    driven = high ? 1 : 0;
}

TimeNs I2CBus::AwaitSclHigh() {
    if (ReadLine(port_, cable_.sclIn)) return TimeNs::min();
    // Held low by a device (clock stretching): the next bit waits until it lets go.
    const TimeNs released = clock_();
    while (!ReadLine(port_, cable_.sclIn)) {
        if (clock_() - released > kSclStretchLimit) {
            if (inTransaction_) throw SclHeldLow(cable_);
            throw SclStuckLow(cable_);
        }
    }
    return clock_();
}

TimeNs I2CBus::EarliestChange(Line line, bool high) const {
    if (line == Line::Scl) {
        if (high) {
            // Low time, clock period and data set-up before the rising edge.
            return std::max({After(lastSclFall_, timing_.sclLow),
                             After(lastSclRise_, timing_.clockPeriod),
                             After(lastSdaChange_, timing_.dataSetup)});
        }
        // High time, and start hold time after a start condition.
        return std::max(After(lastSclRise_, timing_.sclHigh), After(lastStart_, timing_.startHold));
    }
    // SDA: only a change while SCL is high, a stop or a start, has minima of its own.
    if (scl_ != 1) return TimeNs::min();
    // Stop: SCL must have been high for the stop set-up time.
    if (high) return After(lastSclRise_, timing_.stopSetup);
    // Start: repeated-start set-up after SCL rose, and bus free time after a stop.
    return std::max(After(lastSclRise_, timing_.startSetup), After(lastStop_, timing_.busFree));
}

void I2CBus::NoteChange(Line line, bool high, TimeNs at) {
    if (line == Line::Scl) {
        (high ? lastSclRise_ : lastSclFall_) = at;
        return;
    }
    lastSdaChange_ = at;
    if (scl_ == 1) (high ? lastStop_ : lastStart_) = at;
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
    PowerUp();
    return ReadLine(port_, cable_.sdaIn) ? kTrue : kFalse;
}

Bool16 I2CBus::SenseSCL() {
    PowerUp();
    return ReadLine(port_, cable_.sclIn) ? kTrue : kFalse;
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
