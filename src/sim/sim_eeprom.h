// A simulated 2 KB two-wire serial EEPROM (8 blocks of 256 bytes).
//
// Device address byte 1010 b2 b1 b0 R/W: the block number rides in bits 3 to 1. One-byte word
// address. 16-byte page buffer that wraps inside its page. A write is committed only by a stop
// that follows a data byte's acknowledge, and then takes the write cycle (5 ms by default, on the
// monotonic clock), during which the memory acknowledges nothing. A stop right after the word
// address (or a repeated start there) only moves the address pointer; a stop inside a byte writes
// nothing. Sequential reads roll over from 0x7FF to 0x000; current-address reads read at the
// pointer. Switches for tests: no memory on the bus, SDA held low, a longer write cycle, write
// protection that still acknowledges, a memory that dies in the middle of a read.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>

#include "bus/clock.h"
#include "sim/i2c_target.h"

namespace lpt::sim {

class SimEeprom : public I2CTarget {
public:
    static constexpr int kSize = 2048;
    static constexpr int kPageSize = 16;

    explicit SimEeprom(ClockFn clock = SteadyNow);

    std::array<std::uint8_t, kSize>& Memory() { return memory_; }
    const std::array<std::uint8_t, kSize>& Memory() const { return memory_; }

    // Switches.
    // Not present, the memory neither answers nor drives SDA; its line tracking keeps running,
    // so that it picks up cleanly at the next start once it is back.
    void SetPresent(bool present);
    void SetHoldSdaLow(bool on);             // a fault that keeps SDA low all the time
    void SetWriteCycle(TimeNs duration);     // 5 ms by default
    // WP pin high on a part that still acknowledges every byte: writes are taken on the wire and
    // stored nowhere, with no write cycle.
    void SetWriteProtected(bool on) { writeProtected_ = on; }
    // A memory that dies during a read: once `bytes` more bytes have been read from it, it
    // answers nothing more (as SetPresent(false)); the rest of the read gets FF. Negative: never.
    void StopAnsweringAfterReading(long bytes) { readsLeft_ = bytes; }

    bool Busy() const;                       // inside a write cycle now
    std::uint16_t AddressPointer() const { return pointer_; }
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
    void DiscardPage();
    void CommitPage();

    ClockFn clock_;
    std::array<std::uint8_t, kSize> memory_{};
    bool present_ = true;
    bool writeProtected_ = false;
    TimeNs writeCycle_;
    TimeNs busyUntil_{0};
    std::uint16_t pointer_ = 0;
    int block_ = 0;
    bool expectWordAddress_ = false;
    // Page buffer: bytes written since the word address, by offset inside the page.
    std::array<std::uint8_t, kPageSize> page_{};
    std::array<bool, kPageSize> pageDirty_{};
    std::uint16_t pageBase_ = 0;
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

// Fixed demonstration contents for the simulated memory: recognisable patterns and some
// Cyrillic text in Windows-1251, so that both dump columns show something.
void LoadDemoContents(SimEeprom& eeprom);

}  // namespace lpt::sim
