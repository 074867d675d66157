// The three parallel-port operations the bus needs, and the direct cable's wiring.
//
// The direct cable (the default; others are in bus/cable.h), on the PC parallel port at 0x378:
//   SDA out  data register    0x378 (888) bit 0, pin 2  (D0)    1 = released (high), 0 = pulled low
//   SCL out  control register 0x37A (890) bit 2, pin 16 (INIT)  driven at the bit's own level
//   SDA in   status register  0x379 (889) bit 3, pin 15 (ERROR) read at the pin's own level
// Only the chosen cable's bits are ever written or read (the cable test reads every status bit).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "common/bus_speed.h"
#include "common/user_error.h"

namespace lpt {

constexpr int kDataPort = 888;     // 0x378
constexpr int kStatusPort = 889;   // 0x379
constexpr int kControlPort = 890;  // 0x37A

struct PinRef {
    int port;
    int bit;
};

// The direct cable's three bits, as DirectCable() has them.
struct Wiring {
    static constexpr PinRef kSdaOut{kDataPort, 0};
    static constexpr PinRef kSclOut{kControlPort, 2};
    static constexpr PinRef kSdaIn{kStatusPort, 3};
};

// Every failure to reach the port, with its cause and remedy in both languages (the texts are
// in ppdev_messages.cpp). A PortError made from one text alone gives that text in both.
class PortError : public UserError {
public:
    PortError(const Wording& cause, const Wording& remedy)
        : UserError(ErrorKind::Port, cause, remedy) {}
    explicit PortError(const std::string& message)
        : UserError(ErrorKind::Port, {message, message}, {}) {}
    explicit PortError(const char* message) : PortError(std::string(message)) {}
    // `error` with `more` said after it.
    PortError(const PortError& error, const Wording& more) : UserError(error, more) {}
};

// Minimum times between line changes that a port needs the bus driver to keep. All zero means
// "as fast as the port calls return" (the simulated port). Named after the I2C timing symbols.
struct LineTiming {
    std::chrono::nanoseconds clockPeriod{0};   // SCL rise to next SCL rise (1 / fSCL)
    std::chrono::nanoseconds sclLow{0};        // tLOW
    std::chrono::nanoseconds sclHigh{0};       // tHIGH
    std::chrono::nanoseconds startHold{0};     // tHD;STA: SDA fall (SCL high) to SCL fall
    std::chrono::nanoseconds startSetup{0};    // tSU;STA: SCL rise to SDA fall of a repeated start
    std::chrono::nanoseconds stopSetup{0};     // tSU;STO: SCL rise to SDA rise of a stop
    std::chrono::nanoseconds busFree{0};       // tBUF: stop to next start
    std::chrono::nanoseconds dataSetup{0};     // tSU;DAT: SDA change (SCL low) to SCL rise

    bool IsZero() const;
    // Standard mode (100 kHz) minima of the I2C bus.
    static LineTiming StandardMode();
    // Fast mode (400 kHz) minima.
    static LineTiming FastMode();
    // Fast mode plus (1 MHz) minima.
    static LineTiming FastModePlus();
    // The minima of `speed`.
    static LineTiming For(BusSpeed speed);
};

// The clock, in kHz, a mode gives on a port whose calls take `callCost`: a bit takes at least
// three port calls (SDA, SCL up, SCL down) and at least the mode's clock period, whichever is
// longer. At 1.5 us a call that is 4.5 us a bit: fast mode is then bounded by the port.
int ClockOnPortKHz(BusSpeed speed, std::chrono::nanoseconds callCost);

// Port I/O on the PC's I/O port numbers. Implementations open their device lazily: nothing
// is touched before the first call, and a failed open is tried again at the next call.
// Failures throw PortError.
class Port {
public:
    virtual ~Port() = default;
    // That bit of that port is 1 when the call returns; no other bit changes.
    virtual void SetPortBit(int port, int bit) = 0;
    // That bit of that port is 0 when the call returns; no other bit changes.
    virtual void ClrPortBit(int port, int bit) = 0;
    // Nonzero when that bit reads 1 at the time of the call.
    virtual std::int32_t GetPortBit(int port, int bit) = 0;
    // The waits the bus driver must keep between line changes on this port.
    virtual LineTiming Timing() const { return {}; }
    // False while the device has never been opened: there is then no bus state to restore, and
    // the window's unload does not try to open the port just to leave it.
    virtual bool EverOpened() const { return true; }
};

}  // namespace lpt
