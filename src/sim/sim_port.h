// A simulated parallel port with an open-drain I2C bus on its two wires.
//
// The master (the bus driver) drives SDA through data bit 0 and SCL through control bit 2. Every
// device on the bus may pull SDA low; the level on the wire is the AND of the master's SDA bit
// and every device's output, and status bit 3 reads that level. Devices see every change of the
// wire levels and react to it. Every port call is recorded with the wire levels after it, so a
// test can decode the traffic or check its timing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

    // Wire levels now.
    bool Scl() const { return scl_; }
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
    // SetPortBit (one) and ClrPortBit: the master's SDA or SCL output, then the wire settles.
    void WriteOutput(int port, int bit, bool one);
    void CheckFailure();
    void Propagate();
    void Record(PortCall::Op op, int port, int bit, std::int32_t result);

    lpt::LineTiming declared_;
    ClockFn clock_;
    std::vector<BusDevice*> devices_;
    bool masterSda_ = true;
    bool scl_ = true;
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
