// The bus check every bus operation starts with, the bus clear behind it, and acknowledge
// polling.
//
// A line held low reads as an acknowledge everywhere and as 0 in every data bit, so a bus with
// SDA stuck low would pass every read as zeros and every write as done. The check costs one
// status read on a healthy bus at rest. When SDA reads low, or when the last transaction was
// cut short by a port failure (a memory may still be holding SDA in the middle of a byte), the
// bus is cleared: SDA released, up to nine SCL pulses until SDA reads high, then a start and a
// stop. The start makes the memory drop any page it was half given, so the clear never commits
// bytes nobody finished sending; the stop leaves the bus at rest.
#pragma once

#include <string>

#include "bus/clock.h"
#include "bus/i2c_bus.h"
#include "common/user_error.h"

namespace lpt {

// The bus or the memory on it failed: SDA stuck low, a memory that does not answer or refuses a
// byte. The cause and the remedy in both languages (the texts are in memory_errors.cpp) name the
// fault and what to look at.
class BusError : public UserError {
public:
    BusError(const Wording& cause, const Wording& remedy)
        : UserError(ErrorKind::Bus, cause, remedy) {}
    // `error` with `more` said after it.
    BusError(const BusError& error, const Wording& more) : UserError(error, more) {}
};

struct BusCheck {
    bool cleared = false;  // the bus clear ran
    int pulses = 0;        // SCL pulses it gave
};

// With the bus at rest (or cut short by a failure): senses SDA, clears the bus when needed and
// senses again. Throws BusError when SDA stays low; nothing else is sent then.
BusCheck CheckBus(I2CBus& bus);

// The clear alone: SCL low, SDA released, up to nine clock pulses until SDA reads high, then a
// start and a stop when it does. Returns the pulses given. Lines: any on entry; at rest on exit
// when SDA came free, SCL high and SDA released (but held low) otherwise.
int ClearBus(I2CBus& bus);

// The longest write cycle the datasheets of these memories give: after the stop that ends a
// write, the memory acknowledges nothing for up to this long.
constexpr TimeNs kLongestWriteCycle = std::chrono::milliseconds(5);

// How long a memory may refuse its address after a write before the page is given up: twenty
// times the datasheets' write cycle. Old and worn parts run well past 5 ms; a healthy memory is
// not slowed by the margin, since polling ends at its acknowledge.
constexpr TimeNs kWriteCycleLimit = 20 * kLongestWriteCycle;
// The same in whole milliseconds, as the messages give it: "100".
std::string WriteCycleLimitMs();

// How long one poll (a start, the nine clocks of the address byte, a stop) lasts on a bus at
// the standard-mode 100 kHz.
constexpr TimeNs kStandardModePoll = std::chrono::microseconds(100);

// The polls a wait of `limit` must make before it may give up: as many as fit in the limit at
// standard-mode speed, at most 1000. A wait that lost its time to the system (the process not
// scheduled) has then still polled the memory often enough.
int MinimumPolls(TimeNs limit);

// A wait for the end of a write cycle, by polls of the device address. It is over only when
// a poll started at or after the deadline was refused and at least MinimumPolls(limit) polls
// were made: however long the program stalls between two polls, the memory gets one more poll
// after the deadline before it is given up.
class WriteCycleWait {
public:
    WriteCycleWait(const ClockFn& clock, TimeNs limit);
    // Just before each poll.
    void Poll();
    // After a refused poll: whether to give up.
    bool Over() const { return lastPollLate_ && polls_ >= minimumPolls_; }

private:
    ClockFn clock_;
    TimeNs deadline_;
    int minimumPolls_;
    int polls_ = 0;
    bool lastPollLate_ = false;
};

// Acknowledge polling after a write's stop: a start and the device address byte, repeated until
// the memory acknowledges, for as long as a WriteCycleWait of `limit` on `clock` lasts. On
// success the transaction stays open (the address acknowledged, SCL low) for the caller to go
// on; on failure the last poll is closed with a stop and false is returned. Bus at rest on
// entry.
bool PollAcknowledge(I2CBus& bus, std::uint8_t deviceByte, const ClockFn& clock,
                     TimeNs limit = kWriteCycleLimit);

}  // namespace lpt
