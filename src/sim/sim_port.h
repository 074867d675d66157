// A simulated parallel port with an open-drain I2C bus on its two wires.
//
// The port's registers are wired to the bus the way a cable says (bus/cable.h): by default the
// direct cable, the master (the bus driver) driving SDA through data bit 0 and SCL through control
// bit 2, status bit 3 reading SDA. Every device on the bus may pull SDA low, and SCL too (clock
// stretching); the level on each wire is the AND of the master's line and every device's output,
// and the cable's inputs read those levels, through its inverters. Devices see every change of
// the wire levels and react to it. Every port call is recorded with the wire levels after it, so
// a test can decode the traffic or check its timing, whatever the cable.
//
// Left on the direct cable, the port refuses every other bit, as a memory wired only to those
// three pins would. Wired with Wire(cable), it is a whole port: every data and control bit can
// be written (the bits the cable does not use drive nothing), every status bit 3-7 read (one the
// cable does not use reads as an open input: pin high, so 1, and 0 for BUSY, which the port
// inverts). The tool may be told another cable than the one the port is wired with: that is a
// wrong cable, as it happens on a bench.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bus/cable.h"
#include "bus/clock.h"
#include "bus/port.h"

namespace lpt::sim {

// Something hanging on the bus wires.
class BusDevice {
public:
    virtual ~BusDevice() = default;
    // Called after every change of the wire levels, with the new levels.
    virtual void OnLines(bool scl, bool sda) = 0;
    // The device's own SDA output: true = released, false = pulling the line low.
    virtual bool SdaOut() const = 0;
    // The device's own SCL output: false while it holds the clock low.
    virtual bool SclOut() const { return true; }
};

struct PortCall {
    enum class Op { Set, Clr, Get };
    Op op;
    int port;
    int bit;
    std::int32_t result;  // Get: the value returned; Set/Clr: 0
    bool scl;             // wire levels after the call
    bool sda;
    TimeNs time;          // clock reading at the call
};

class SimPort : public lpt::Port {
public:
    // `declared` is what Timing() reports to the bus driver (zero waits by default);
    // `clock` timestamps the recorded calls.
    explicit SimPort(lpt::LineTiming declared = {}, ClockFn clock = SteadyNow);

    void Attach(BusDevice& device);  // the device must outlive the port or be detached
    void Detach(BusDevice& device);

    void SetPortBit(int port, int bit) override;
    void ClrPortBit(int port, int bit) override;
    std::int32_t GetPortBit(int port, int bit) override;
    lpt::LineTiming Timing() const override { return declared_; }

    // Wires the registers to the bus the way `cable` says, and opens every register bit (see
    // above). The lines start released.
    void Wire(const lpt::Cable& cable);
    // A fault of the wiring: the cable's SDA input (or SCL input) is open, with no pull-up, and
    // reads high whatever the line does.
    void LeaveInputOpen(bool sdaIn, bool sclIn) {
        sdaInOpen_ = sdaIn;
        sclInOpen_ = sclIn;
    }

    // Wire levels now.
    bool Scl() const;
    bool Sda() const;

    // The record of port calls (on by default).
    const std::vector<PortCall>& Calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }
    void SetRecording(bool on) { recording_ = on; }
    // Counters that run whether or not the calls are recorded.
    long Writes() const { return writes_; }
    long Reads() const { return reads_; }
    void ResetCounters() { writes_ = reads_ = 0; }

    // Failure injection: after `okCalls` more successful calls, every call throws
    // PortError(message) without touching the lines, until ClearFailure().
    void FailAfter(long okCalls, std::string message);
    // The same, but only one call fails; the calls after it work again (a glitch).
    void FailOnce(long okCalls, std::string message);
    void ClearFailure() { failAfter_.reset(); }

private:
    // SetPortBit (one) and ClrPortBit: a register bit, then the wire settles.
    void WriteOutput(int port, int bit, bool one);
    bool Writable(int port, int bit) const;
    bool Readable(int port, int bit) const;
    bool RegisterBit(int port, int bit) const;
    // The master's own level on a line: its register bit through the cable.
    bool Master(const lpt::LineBit& line) const;
    void CheckFailure();
    void Propagate();
    void Record(PortCall::Op op, int port, int bit, std::int32_t result);

    lpt::LineTiming declared_;
    ClockFn clock_;
    std::vector<BusDevice*> devices_;
    lpt::Cable cable_ = lpt::DirectCable();
    bool wholePort_ = false;  // Wire() was called
    unsigned data_ = 0x01;     // register contents; the direct cable's lines released
    unsigned control_ = 0x04;
    bool sdaInOpen_ = false;
    bool sclInOpen_ = false;
    bool lastScl_ = true;  // wire SCL last reported to the devices
    bool lastSda_ = true;  // wire SDA last reported to the devices
    std::vector<PortCall> calls_;
    bool recording_ = true;
    long writes_ = 0;
    long reads_ = 0;
    std::optional<long> failAfter_;
    bool failOnce_ = false;
    std::string failMessage_;
};

}  // namespace lpt::sim
