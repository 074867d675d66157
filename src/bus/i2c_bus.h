// The I2C bus master made of two parallel-port bits.
//
// There is no bus controller: every clock edge and data bit is one port call. Truth values are
// 16-bit: true is -1, false is 0, and on input any nonzero value counts as true. Line levels:
// true sets the port bit (line released, high), false clears it (line driven low).
//
// Levels each procedure leaves behind:
//   I2CStart      SDA low,  SCL low       I2CStop     SDA high, SCL high
//   WriteBit(b)   SDA b,    SCL low       ReadBit     SDA high (released), SCL low
//   WriteByte     SDA high, SCL low       ReadByte    SDA high, SCL low (with or without ack)
// Between I2CStart and I2CStop, SCL is low whenever no procedure is running.
//
// Port calls per procedure (writes / reads / data clock pulses):
//   SetSDA, SetSCL 1/0/0; WriteBit 3/0/1; ReadBit 3/1/1; I2CStart 4/0/0; I2CStop 4/0/0;
//   WriteByte 27/1/9; ReadByte 24/8/8 without acknowledge, 28/8/9 with it.
//
// Line timing: the port declares the minimum times between line changes (zero for the
// simulated port, standard-mode minima for the real one). SetSDA and SetSCL wait, on the
// monotonic clock, until every minimum that governs the change they are about to make has
// passed since the line change it is counted from, and no longer. At standard speed the bus
// keeps what the port declares; at fast or fast plus, a port that declares any timing gets
// that mode's minima instead, and a port that declares none still gets no waits.
//
// The cable (bus/cable.h) says which register bit carries each line; the counts above are those
// of every cable. Where the cable reads SCL back, each rise of SCL is followed by reads of SCL
// until it is high (a device may stretch the clock), for at most kSclStretchLimit; the minima
// after the rise count from the moment SCL was seen high. Cables without SCL in make no extra
// call. A cable's power bits are written once, before the first port call of the bus.
#pragma once

#include <chrono>
#include <cstdint>

#include "bus/cable.h"
#include "bus/clock.h"
#include "bus/port.h"

namespace lpt {

using Bool16 = std::int16_t;
constexpr Bool16 kTrue = -1;
constexpr Bool16 kFalse = 0;

// How long a device may hold SCL low after the driver released it.
constexpr TimeNs kSclStretchLimit = std::chrono::milliseconds(1);

class I2CBus {
public:
    explicit I2CBus(Port& port, ClockFn clock = SteadyNow, Cable cable = DirectCable(),
                    BusSpeed speed = BusSpeed::Standard);

    // The bus mode whose minima the waits keep; a change takes effect at the next line change.
    BusSpeed Speed() const { return speed_; }
    void SetSpeed(BusSpeed speed);
    // The minima kept now (all zero on a port that declares none).
    const LineTiming& Timing() const { return timing_; }

    // The cable the bus is driven through, fixed for the bus's life.
    const Cable& GetCable() const { return cable_; }

    // Acknowledge flag shared with the operations. After WriteByte: 1 when the receiver pulled
    // the ninth bit low, 0 when not (never -1). Before ReadByte: exactly 1 asks for an
    // acknowledge; any other value means no ninth clock at all.
    std::int16_t Ack = 0;

    // Receives a byte, MSB first. SCL low on entry; SDA released, SCL low on exit.
    std::uint8_t ReadByte();
    // Sends a byte, MSB first, then samples the acknowledge into Ack. SCL low on entry;
    // SDA released, SCL low on exit.
    void WriteByte(const std::uint8_t& value);
    // One clock pulse with SDA set to the bit before it. SCL low on entry and on exit.
    void WriteBit(const Bool16& bit);
    // One clock pulse with SDA released, sampled while SCL is high: -1 or 0.
    Bool16 ReadBit();
    // Start condition (SDA falls while SCL is high), from rest or as a repeated start.
    void I2CStart();
    // Stop condition (SDA rises while SCL is high); the bus is at rest afterwards.
    void I2CStop();
    void SetSDA(const Bool16& level);
    void SetSCL(const Bool16& level);

    // One sample of SDA (one status read), no line change: -1 high, 0 low. For the bus check,
    // with SDA released.
    Bool16 SenseSDA();
    // One sample of SCL (one status read): -1 high, 0 low. Only for a cable that reads SCL back.
    Bool16 SenseSCL();
    // True after an I2CStart whose transaction has not been closed by a completed I2CStop: a
    // port failure cut it short, and a device may still be holding SDA in the middle of a byte.
    bool Interrupted() const { return inTransaction_; }
    // Both lines were last driven high (released) and the driver knows it.
    bool AtRest() const { return sda_ == 1 && scl_ == 1; }

private:
    enum class Line { Sda, Scl };
    // SetSDA and SetSCL: on a timed port a change of level first waits for EarliestChange, then
    // the port call, then NoteChange records the time for the minima counted from it.
    void SetLine(Line line, bool high);
    TimeNs EarliestChange(Line line, bool high) const;
    void NoteChange(Line line, bool high, TimeNs at);
    void WaitUntil(TimeNs deadline);
    // After a rise of SCL on a cable with SCL in: reads SCL until it is high and returns when it
    // was seen so (TimeNs::min() when it was high at once and the port is not timed). Throws
    // BusError after kSclStretchLimit.
    TimeNs AwaitSclHigh();
    // The cable's power bits, before the bus's first port call.
    void PowerUp();

    Port& port_;
    ClockFn clock_;
    LineTiming declared_;  // what the port asks for at standard speed
    BusSpeed speed_ = BusSpeed::Standard;
    LineTiming timing_;
    bool timed_ = false;
    Cable cable_;
    bool powered_ = false;
    // What the driver last put on each line (unknown until the first call), and when each
    // kind of change last happened. Only used for the line timing.
    int sda_ = -1;
    int scl_ = -1;
    TimeNs lastSdaChange_{TimeNs::min()};
    TimeNs lastSclRise_{TimeNs::min()};
    TimeNs lastSclFall_{TimeNs::min()};
    TimeNs lastStart_{TimeNs::min()};  // SDA fall while SCL high
    TimeNs lastStop_{TimeNs::min()};   // SDA rise while SCL high
    bool inTransaction_ = false;       // from the first port call of I2CStart to the end of I2CStop
};

}  // namespace lpt
