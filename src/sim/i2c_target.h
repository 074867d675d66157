// The line-level half of an I2C target (slave): it watches SCL and SDA, finds start and stop
// conditions, shifts bits in on SCL rising edges, and drives SDA (acknowledge or data) only
// while SCL is low. Derived classes say which address bytes they answer and what they do with
// the bytes.
#pragma once

#include <cstdint>

#include "sim/sim_port.h"

namespace lpt::sim {

class I2CTarget : public BusDevice {
public:
    void OnLines(bool scl, bool sda) override;
    bool SdaOut() const override;

protected:
    // A start condition (repeated = no stop since the previous start).
    virtual void OnStart(bool repeated) { (void)repeated; }
    // The address byte after a start, R/W bit included. Return true to acknowledge it; then for
    // a read (bit 0 set) OnRead supplies the bytes to send.
    virtual bool OnAddress(std::uint8_t addressByte) = 0;
    // A byte written by the master after an acknowledged write address. Return true to ack it.
    virtual bool OnWrite(std::uint8_t byte) = 0;
    // The next byte to send to the master in a read.
    virtual std::uint8_t OnRead() = 0;
    // A stop condition. `afterAck` is true when it came right after a complete byte and its
    // acknowledge clock (not in the middle of a byte).
    virtual void OnStop(bool afterAck) { (void)afterAck; }
    // Pull SDA low regardless of the protocol (a stuck line), or let it go.
    void ForceSdaLow(bool on) { forcedLow_ = on; }

private:
    enum class State { Idle, Address, Writing, Reading, Ignoring };
    // One change of the wire levels: at most one of the two lines differs from the last report.
    void Step(bool scl, bool sda);
    void Start();
    void Stop();
    void SclRise(bool sda);
    void SclFall();
    void LoadNextByte();

    State state_ = State::Idle;
    bool scl_ = true;                // wire levels last seen
    bool sda_ = true;
    bool drivingLow_ = false;        // our own SDA output, by the protocol
    bool forcedLow_ = false;         // our own SDA output, by a stuck-line fault
    bool inTransaction_ = false;     // a start seen and no stop since
    int rises_ = 0;                  // SCL rising edges in the current byte, ninth clock included
    std::uint8_t shift_ = 0;         // bits received so far, MSB first
    std::uint8_t outByte_ = 0;       // the byte being sent in a read
    bool readAddress_ = false;       // the acknowledged address asked for a read
    bool masterAcked_ = false;       // SDA was low on the ninth clock of a byte we sent
    bool byteBoundary_ = false;      // a byte and its ninth clock ended since the start
};

}  // namespace lpt::sim
