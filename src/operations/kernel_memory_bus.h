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
#pragma once

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
    I2cAdapter& adapter_;
    ClockFn clock_;
    bool force_;
};

}  // namespace lpt
