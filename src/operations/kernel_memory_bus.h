// The memory on a kernel I2C adapter: each transaction of MemoryBus as one combined i2c-dev
// transaction (the word address written, a repeated start, the bytes read; or the word address
// and the data in one write), split where the adapter takes shorter messages.
//
// There are no lines to check or clear: the bus check is that the adapter opens and offers
// plain I2C. The kernel ends every read with a no-acknowledge and a stop, whatever the ending
// asked for. An address probe is a one-byte read, never an address-only write, and skips the
// reserved addresses (7-bit 0x00-0x07 and 0x78-0x7F). A device address a kernel driver holds
// (at24, ee1004) is refused with the driver's name and how to unbind it. On a PC's SMBus, or on
// a memory whose first bytes look like a memory module's SPD, nothing at 0x50-0x57 is written
// unless `force`: a module's SPD written over can leave the PC unable to boot.
//
// The kernel does not say which byte went unacknowledged: a refused transaction is the device
// address's (the read address's for a current-address read). Under OnRefusal::SendOn a refused
// read still gives every byte it did not read, as FF, as the lines would. Messages longer than
// the adapter takes (I2cAdapter::MaxMessage) go in pieces: a read as several combined
// transactions, each from the byte the one before stopped at; a page write as several page
// writes, each at the address of its first byte and after the write cycle of the one before.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "bus/clock.h"
#include "bus/i2c_adapter.h"
#include "operations/memory_bus.h"

namespace lpt {

class KernelMemoryBus : public MemoryBus {
public:
    // `clock` times the waits for a write cycle.
    KernelMemoryBus(I2cAdapter& adapter, ClockFn clock = SteadyNow,
                    const MemoryGeometry& memory = k24c16, bool force = false);

    I2cAdapter& Adapter() { return adapter_; }

    BusCheck CheckBus() override;
    bool Interrupted() const override { return false; }
    void CheckWritable() override;
    MemoryLines Lines() const override;
    bool Probe(std::uint8_t addressByte, const std::function<void()>& whileOpen = {}) override;
    Transfer SequentialRead(int address, int count, const ByteSink& sink, Opening opening,
                            OnRefusal onRefusal,
                            ReadEnding ending = ReadEnding::NoNinthClock) override;
    Transfer CurrentAddressRead(std::uint8_t deviceByte, int count, const ByteSink& sink,
                                ReadEnding ending = ReadEnding::NackAndStop) override;
    Transfer PageWrite(int address, const std::uint8_t* data, int count, Opening opening,
                       OnRefusal onRefusal) override;
    bool PollAcknowledge(int address, TimeNs limit = kWriteCycleLimit) override;
    void EndOpened() override {}

private:
    using Outcome = I2cAdapter::Outcome;
    std::uint8_t Address7(int address) const { return DeviceByte(address) >> 1; }
    // The word address of `address`, most significant byte first.
    std::vector<std::uint8_t> WordAddress(int address) const;
    // A transaction of the memory's (Probe's one-byte reads aside): refused when a kernel driver
    // holds one of its addresses, else handed to the adapter.
    Outcome Send(std::vector<I2cMessage>& messages);
    // The first transaction of a read or a write, as `opening` says: once, or again while the
    // memory does not answer, for as long as a WriteCycleWait of the opening's limit lasts.
    Outcome Open(std::vector<I2cMessage>& messages, const Opening& opening);
    // Before a write: bytes 0-2 of the memory at `address` (7-bit) when they read like the start
    // of a memory module's SPD.
    std::optional<std::vector<std::uint8_t>> SpdStartAt(std::uint8_t address);

    I2cAdapter& adapter_;
    ClockFn clock_;
    bool force_;
    std::array<bool, 128> free_{};  // addresses no kernel driver held when asked
};

}  // namespace lpt
