// The memory's own transactions, on top of the bus procedures: the device byte for an address,
// the probe, the random and the sequential read, the page write, and acknowledge polling.
//
// Both kinds of work use them. The buttons send every byte of a transaction whatever the memory
// answers and count the transactions it left unanswered (OnRefusal::SendOn); the image
// operations and the writes' read-back stop a transaction at the first byte it refuses
// (OnRefusal::StopThere) and say which one it was. Either way the bytes go out through the bus
// procedures and Ack as they always did: each function below names the port traffic it makes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "bus/clock.h"
#include "bus/i2c_bus.h"
#include "operations/bus_check.h"
#include "operations/memory_lines.h"
#include "common/chips.h"

namespace lpt {

// The write-cycle limit of the 24c16 and of every part with a 5 ms write cycle (see
// MemoryGeometry::WriteCycleLimit).
constexpr TimeNs kWriteCycleLimit = k24c16.WriteCycleLimit();
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

// Makes `attempt` again and again until it succeeds, for as long as a WriteCycleWait of `limit`
// on `clock` lasts (each try is one poll of it); whether one succeeded. `refused` runs after
// each try that did not, before the wait is asked whether it is over.
bool RetryForWriteCycle(const ClockFn& clock, TimeNs limit, const std::function<bool()>& attempt,
                        const std::function<void()>& refused = {});

// Acknowledge polling after a write's stop: a start and the device address byte, repeated until
// the memory acknowledges, for as long as a WriteCycleWait of `limit` on `clock` lasts. On
// success the transaction stays open (the address acknowledged, SCL low) for the caller to go
// on; on failure the last poll is closed with a stop and false is returned. Bus at rest on
// entry.
bool PollAcknowledge(I2CBus& bus, std::uint8_t deviceByte, const ClockFn& clock,
                     TimeNs limit = kWriteCycleLimit);

// How a transaction opens: a start and the device byte (write).
struct Opening {
    enum class Way {
        Once,      // sent once, acknowledged or not
        Retrying,  // while refused, a repeated start and the device byte again, for as long as
                   // a WriteCycleWait of `limit` lasts; no stop in between
        Polling,   // PollAcknowledge for `limit`; refused to the end, the transaction ends there
        Opened,    // nothing: the poll that waited out the write before has already opened it
    };
    Way way = Way::Once;
    TimeNs limit = kWriteCycleLimit;

    static Opening Once() { return {Way::Once}; }
    static Opening Retrying(TimeNs limit = kWriteCycleLimit) { return {Way::Retrying, limit}; }
    static Opening Polling(TimeNs limit = kWriteCycleLimit) { return {Way::Polling, limit}; }
    static Opening Opened() { return {Way::Opened}; }
};

// What a transaction does at a byte the memory leaves unacknowledged.
enum class OnRefusal {
    SendOn,     // sends the rest of the transaction all the same (the buttons)
    StopThere,  // a stop at once, nothing more sent (an Opening::Polling refused is closed
                // by its own stop)
};

// How a sequential read ends after its last byte.
enum class ReadEnding {
    NoNinthClock,  // the last byte gets no ninth clock: the stop follows its eighth bit (the
                   // buttons' reads, and the image operations', as written)
    NackAndStop,   // a ninth clock with SDA released (no acknowledge), then the stop
};

// What came of one transaction: the first byte the memory did not acknowledge, if any.
struct Transfer {
    enum class Byte { None, DeviceAddress, WordAddress, ReadAddress, Data };
    Byte refused = Byte::None;
    int dataIndex = 0;  // with Data: which data byte, 0 for the first

    bool Answered() const { return refused == Byte::None; }
};

// Each byte of a read as it comes off the bus, with its index in the read.
using ByteSink = std::function<void(int index, std::uint8_t value)>;

// The memory's transactions, whatever carries them: the bus procedures on a parallel port's
// lines (LineMemoryBus), or a kernel I2C adapter that runs whole messages. The operations use
// nothing else, so they work the same on either.
class MemoryBus {
public:
    explicit MemoryBus(const MemoryGeometry& memory = k24c16) : memory_(memory) {}
    virtual ~MemoryBus() = default;
    MemoryBus(const MemoryBus&) = delete;
    MemoryBus& operator=(const MemoryBus&) = delete;

    const MemoryGeometry& Memory() const { return memory_; }
    // The memory the transactions address from now on (its device bytes and word addresses).
    void SetMemory(const MemoryGeometry& memory) { memory_ = memory; }
    std::uint8_t DeviceByte(int address) const { return memory_.DeviceByte(address); }

    // The check every operation starts with: throws (BusError, PortError) when the bus cannot
    // carry a transaction; what it had to do to make it fit otherwise.
    virtual BusCheck CheckBus() = 0;
    // Whether the last transaction was cut short by a failure: the check is due again before
    // the next one.
    virtual bool Interrupted() const = 0;
    // Throws when the memory may not be written here (a PC's memory modules on the same bus);
    // the writes call it after their check, before anything is written. Nothing by default.
    virtual void CheckWritable() {}
    // What the memory's lines run through, for the messages.
    virtual MemoryLines Lines() const = 0;

    // An address probe: whether a device answers `addressByte`. On the lines an address-only
    // transaction: a start, `addressByte`, a stop; `whileOpen` runs, when it was acknowledged,
    // before the stop.
    virtual bool Probe(std::uint8_t addressByte, const std::function<void()>& whileOpen = {}) = 0;

    // Reads `count` bytes from `address` on (the memory's pointer rolls over at its end), each
    // given to `sink` as soon as it is read: the opening, the word address, a repeated start,
    // the device byte with R/W 1, the bytes (each but the last acknowledged), the ending, a stop.
    virtual Transfer SequentialRead(int address, int count, const ByteSink& sink, Opening opening,
                                    OnRefusal onRefusal,
                                    ReadEnding ending = ReadEnding::NoNinthClock) = 0;

    // A read from where the memory's address pointer stands, with no word address: a start,
    // `deviceByte` with R/W 1, the bytes (each but the last acknowledged), the ending, a stop.
    // Refused, the stop follows the device byte.
    virtual Transfer CurrentAddressRead(std::uint8_t deviceByte, int count, const ByteSink& sink,
                                        ReadEnding ending = ReadEnding::NackAndStop) = 0;

    // A sequential read of one byte, into `value` (untouched when the read was not made).
    Transfer RandomRead(int address, std::uint8_t& value, Opening opening, OnRefusal onRefusal,
                        ReadEnding ending = ReadEnding::NoNinthClock);

    // Writes `count` bytes from `address` on, within its page (a byte write is a page write of
    // one byte): the opening, the word address, the bytes, a stop, at which the memory starts
    // its write cycle.
    virtual Transfer PageWrite(int address, const std::uint8_t* data, int count, Opening opening,
                               OnRefusal onRefusal) = 0;

    // Waits for the memory at `address` to end its write cycle: true once it answers, false
    // when it has not within `limit`. On the lines the transaction whose device byte was
    // acknowledged stays open: the next transaction goes on with Opening::Opened, or EndOpened
    // closes it.
    virtual bool PollAcknowledge(int address, TimeNs limit = kWriteCycleLimit) = 0;
    // Closes what an acknowledged PollAcknowledge left open, when no transaction goes on with it.
    virtual void EndOpened() = 0;

private:
    MemoryGeometry memory_;
};

// The memory on the bus procedures' lines. `clock` times the waits for a write cycle
// (Opening::Retrying and Opening::Polling); nothing else reads it.
class LineMemoryBus : public MemoryBus {
public:
    explicit LineMemoryBus(I2CBus& bus, ClockFn clock = SteadyNow,
                           const MemoryGeometry& memory = k24c16);

    I2CBus& Bus() { return bus_; }

    // The bus check of bus_check.h.
    BusCheck CheckBus() override;
    bool Interrupted() const override { return bus_.Interrupted(); }
    MemoryLines Lines() const override { return bus_.GetCable(); }
    bool Probe(std::uint8_t addressByte, const std::function<void()>& whileOpen = {}) override;
    Transfer SequentialRead(int address, int count, const ByteSink& sink, Opening opening,
                            OnRefusal onRefusal,
                            ReadEnding ending = ReadEnding::NoNinthClock) override;
    Transfer CurrentAddressRead(std::uint8_t deviceByte, int count, const ByteSink& sink,
                                ReadEnding ending = ReadEnding::NackAndStop) override;
    Transfer PageWrite(int address, const std::uint8_t* data, int count, Opening opening,
                       OnRefusal onRefusal) override;
    // PollAcknowledge with the device byte of `address`, on this memory bus's clock.
    bool PollAcknowledge(int address, TimeNs limit = kWriteCycleLimit) override;
    // A stop.
    void EndOpened() override { bus_.I2CStop(); }

private:
    bool Open(int address, Opening opening, OnRefusal onRefusal, Transfer& transfer);
    bool Send(std::uint8_t byte, Transfer::Byte what, int index, OnRefusal onRefusal,
              Transfer& transfer);
    bool SendWordAddress(int address, OnRefusal onRefusal, Transfer& transfer);
    void ReadBytes(int count, const ByteSink& sink, ReadEnding ending);

    I2CBus& bus_;
    ClockFn clock_;
};

}  // namespace lpt
