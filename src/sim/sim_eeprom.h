// A simulated two-wire serial EEPROM of the 24Cxx family: any part of the chip table, the 2 KB
// 24c16 by default.
//
// Device byte 1010 x x x R/W. Of the three x bits, the part compares those that carry its address
// pins with the levels of the pins and answers only when they match; those that carry address
// bits above the word address select the block; any other is "don't care". A part that needs a
// pin tied high (the A2 of a 24xx1025) answers nothing while that pin is low. One or two word
// address bytes follow, most significant first; address bits beyond the part's size are ignored.
// On a two-byte part the pointer is loaded only once both bytes are in. The page buffer wraps
// inside its page, and each data byte moves the pointer on with it, even when the write then
// comes to nothing (the 24c16 model leaves the pointer at the word address until the write is
// committed, as it always has). A write is committed only by a stop that follows a data byte's
// acknowledge, and then takes the part's write cycle (on the monotonic clock), during which the
// memory acknowledges nothing. A stop right after the word address (or a repeated start there)
// only moves the address pointer; a stop inside a byte writes nothing. Sequential reads roll over
// from the last byte of the memory to the first, across blocks; current-address reads read at the
// pointer. Switches for tests: no memory on the bus, SDA held low, a longer write cycle, write
// protection that still acknowledges, a memory that dies in the middle of a read.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "bus/clock.h"
#include "common/chips.h"
#include "sim/i2c_target.h"

namespace lpt::sim {

class SimEeprom : public I2CTarget {
public:
    explicit SimEeprom(ClockFn clock = SteadyNow, const ChipChoice& chip = {});

    const ChipChoice& Chip() const { return chip_; }  // what it models, page size and pins included
    int Size() const { return static_cast<int>(memory_.size()); }  // bytes
    std::vector<std::uint8_t>& Memory() { return memory_; }  // Size() bytes, erased (FF) at first
    const std::vector<std::uint8_t>& Memory() const { return memory_; }

    // Switches.
    // Not present, the memory neither answers nor drives SDA; its line tracking keeps running,
    // so that it picks up cleanly at the next start once it is back.
    void SetPresent(bool present);
    void SetHoldSdaLow(bool on);             // a fault that keeps SDA low all the time
    void SetWriteCycle(TimeNs duration);     // the part's own by default (5 ms for most)
    // WP pin high on a part that still acknowledges every byte: writes are taken on the wire and
    // stored nowhere, with no write cycle.
    void SetWriteProtected(bool on) { writeProtected_ = on; }
    // A memory that dies during a read: once `bytes` more bytes have been read from it, it
    // answers nothing more (as SetPresent(false)); the rest of the read gets FF. Negative: never.
    void StopAnsweringAfterReading(long bytes) { readsLeft_ = bytes; }

    bool Busy() const;                       // inside a write cycle now
    std::uint32_t AddressPointer() const { return pointer_; }
    long CommittedWrites() const { return committedWrites_; }
    long RefusedAddresses() const { return refusedAddresses_; }  // address bytes NACKed while busy

    bool SdaOut() const override;

protected:
    void OnStart(bool repeated) override;
    bool OnAddress(std::uint8_t addressByte) override;
    bool OnWrite(std::uint8_t byte) override;
    std::uint8_t OnRead() override;
    void OnStop(bool afterAck) override;

private:
    // Whether this part, with its pins, takes the device byte (R/W bit aside) as its own.
    bool Selects(std::uint8_t addressByte) const;
    void LoadPointer(std::uint32_t address);
    void DiscardPage();
    void CommitPage();

    ClockFn clock_;
    ChipChoice chip_;
    MemoryGeometry geometry_;
    std::uint8_t comparedBits_;  // device-byte bits matched against the pins
    bool answers_;               // false when a pin the part needs high is low
    // Whether data bytes of a write that never gets committed still move the pointer. The
    // 24c16 model keeps the word address then; the others move on as their counters do.
    bool dataMovesPointer_;
    std::vector<std::uint8_t> memory_;
    bool present_ = true;
    bool writeProtected_ = false;
    TimeNs writeCycle_;
    TimeNs busyUntil_{0};
    std::uint32_t pointer_ = 0;
    std::uint32_t high_ = 0;         // address bits above the word address, from the device byte
    int wordBytesLeft_ = 0;          // word address bytes still expected
    std::uint32_t wordAddress_ = 0;  // the word address bytes received so far
    // Page buffer: bytes written since the word address, by offset inside the page.
    std::vector<std::uint8_t> page_;
    std::vector<bool> pageDirty_;
    std::uint32_t pageBase_ = 0;
    int pageOffset_ = 0;  // where the next data byte goes inside the page
    bool haveData_ = false;
    long committedWrites_ = 0;
    long refusedAddresses_ = 0;
    long readsLeft_ = -1;  // bytes to read before the memory dies; negative: it does not
};

// A plain device that acknowledges a fixed set of address bytes and nothing else, and reads as
// 0xFF. Used to put a second device on a test bus.
class SimResponder : public I2CTarget {
public:
    explicit SimResponder(std::initializer_list<std::uint8_t> addressBytes);
    long Probes() const { return probes_; }  // address bytes it acknowledged

protected:
    bool OnAddress(std::uint8_t addressByte) override;
    bool OnWrite(std::uint8_t byte) override;
    std::uint8_t OnRead() override;

private:
    std::array<bool, 256> answers_{};
    long probes_ = 0;
};

// Fixed demonstration contents for the simulated memory, whatever its size: recognisable
// patterns and some Cyrillic text in Windows-1251, so that both dump columns show something.
void LoadDemoContents(SimEeprom& eeprom);

}  // namespace lpt::sim
