// A bus master for the tests: the exact port-call sequences of the bus driver's procedures,
// written out here so the simulated devices are tested on their own.
#pragma once

#include <cstdint>
#include <vector>

#include "bus/port.h"
#include "common/chips.h"

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

class Master {
public:
    // `memory`: the part the transactions address (device byte, word address bytes).
    explicit Master(lpt::Port& port, const lpt::MemoryGeometry& memory = lpt::k24c16)
        : port_(port), memory_(memory) {}

    void SdaHigh() { port_.SetPortBit(888, 0); }
    void SdaLow() { port_.ClrPortBit(888, 0); }
    void SclHigh() { port_.SetPortBit(890, 2); }
    void SclLow() { port_.ClrPortBit(890, 2); }

    void Start() { SdaHigh(), SclHigh(), SdaLow(), SclLow(); }
    void Stop() { SclLow(), SdaLow(), SclHigh(), SdaHigh(); }
    void WriteBit(bool b) { b ? SdaHigh() : SdaLow(), SclHigh(), SclLow(); }
    bool ReadBit() {
        SdaHigh(), SclHigh();
        const bool b = port_.GetPortBit(889, 3) != 0;
        SclLow();
        return b;
    }
    // True when acknowledged.
    bool WriteByte(std::uint8_t byte) {
        for (int i = 7; i >= 0; --i) WriteBit(((byte >> i) & 1) != 0);
        return !ReadBit();
    }
    // Without acknowledge there is no ninth clock: the caller's Stop follows directly.
    std::uint8_t ReadByte(bool ack) {
        int b = 0;
        for (int i = 0; i < 8; ++i) b = (b << 1) | (ReadBit() ? 1 : 0);
        if (ack) WriteBit(false), SdaHigh();
        return static_cast<std::uint8_t>(b);
    }

    // Transactions on the memory (a 24c16 unless told: device byte 0xA0 | block << 1, one word
    // address byte); false at the first NACK. Reads send the device byte without block bits.
    bool Write(std::uint32_t address, const Bytes& data) {
        Start();
        bool ok = WriteByte(memory_.DeviceByte(static_cast<int>(address))) && WordAddress(address);
        for (std::size_t i = 0; ok && i < data.size(); ++i) ok = WriteByte(data[i]);
        Stop();
        return ok;
    }
    Bytes ReadAt(std::uint32_t address, int count) {
        Start();
        if (!WriteByte(memory_.DeviceByte(static_cast<int>(address))) || !WordAddress(address))
            return Stop(), Bytes{};
        Start();
        return ReadRest(static_cast<std::uint8_t>(memory_.deviceType | 1), count);
    }
    Bytes ReadCurrent(int count) {
        Start();
        return ReadRest(static_cast<std::uint8_t>(memory_.deviceType | 1), count);
    }
    // An acknowledged read address hands SDA to the target, so one byte is read (not
    // acknowledged) before the stop.
    bool Probe(std::uint8_t addressByte) {
        Start();
        const bool ack = WriteByte(addressByte);
        if (ack && (addressByte & 1)) ReadByte(false);
        Stop();
        return ack;
    }

private:
    // The word address bytes, most significant first; true when all were acknowledged.
    bool WordAddress(std::uint32_t address) {
        bool ok = true;
        for (int i = memory_.addressBytes - 1; ok && i >= 0; --i)
            ok = WriteByte(static_cast<std::uint8_t>(address >> (8 * i)));
        return ok;
    }
    Bytes ReadRest(std::uint8_t readAddress, int count) {
        Bytes out;
        if (WriteByte(readAddress)) {
            for (int i = 0; i < count; ++i) out.push_back(ReadByte(i + 1 < count));
        }
        Stop();
        return out;
    }

    lpt::Port& port_;
    lpt::MemoryGeometry memory_;
};

}  // namespace simtest
