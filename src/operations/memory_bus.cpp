#include "operations/memory_bus.h"

#include <algorithm>

namespace lpt {

std::string WriteCycleLimitMs() {
    return std::to_string(
        std::chrono::duration_cast<std::chrono::milliseconds>(kWriteCycleLimit).count());
}

int MinimumPolls(TimeNs limit) {
    if (limit <= TimeNs{0}) return 0;
    const auto polls = limit / kStandardModePoll;
    return static_cast<int>(std::min<decltype(polls)>(polls, 1000));
}

WriteCycleWait::WriteCycleWait(const ClockFn& clock, TimeNs limit)
    : clock_(clock), deadline_(clock() + limit), minimumPolls_(MinimumPolls(limit)) {}

void WriteCycleWait::Poll() {
    ++polls_;
    lastPollLate_ = !(clock_() < deadline_);
}

bool RetryForWriteCycle(const ClockFn& clock, TimeNs limit, const std::function<bool()>& attempt,
                        const std::function<void()>& refused) {
    WriteCycleWait wait(clock, limit);
    // The bound on tries only matters for a clock that does not move.
    for (int tries = 0; tries < 100000; ++tries) {
        wait.Poll();
        if (attempt()) return true;
        if (refused) refused();
        if (wait.Over()) break;
    }
    return false;
}

namespace {

// A start and the device address, again and again until the memory acknowledges or the wait is
// over. `stopAfterRefusal`: each refused try is closed by a stop (acknowledge polling from rest);
// otherwise the next try is a repeated start. True with the transaction open (SCL low).
bool RepeatAddress(I2CBus& bus, std::uint8_t deviceByte, const ClockFn& clock, TimeNs limit,
                   bool stopAfterRefusal) {
    return RetryForWriteCycle(
        clock, limit,
        [&] {
            bus.I2CStart();
            bus.WriteByte(deviceByte);
            return bus.Ack != 0;
        },
        [&] {
            if (stopAfterRefusal) bus.I2CStop();
        });
}

}  // namespace

bool PollAcknowledge(I2CBus& bus, std::uint8_t deviceByte, const ClockFn& clock, TimeNs limit) {
    return RepeatAddress(bus, deviceByte, clock, limit, /*stopAfterRefusal=*/true);
}

Transfer MemoryBus::RandomRead(int address, std::uint8_t& value, Opening opening,
                               OnRefusal onRefusal, ReadEnding ending) {
    return SequentialRead(address, 1, [&value](int, std::uint8_t v) { value = v; }, opening,
                          onRefusal, ending);
}

LineMemoryBus::LineMemoryBus(I2CBus& bus, ClockFn clock, const MemoryGeometry& memory)
    : MemoryBus(memory), bus_(bus), clock_(std::move(clock)) {}

BusCheck LineMemoryBus::CheckBus() { return lpt::CheckBus(bus_); }

bool LineMemoryBus::Probe(std::uint8_t addressByte, const std::function<void()>& whileOpen) {
    bus_.I2CStart();
    bus_.WriteByte(addressByte);
    const bool answered = bus_.Ack != 0;
    if (answered && whileOpen) whileOpen();
    bus_.I2CStop();
    return answered;
}

bool LineMemoryBus::PollAcknowledge(int address, TimeNs limit) {
    return lpt::PollAcknowledge(bus_, DeviceByte(address), clock_, limit);
}

// Sends one byte the memory must acknowledge. Refused: the first refusal is noted and, under
// StopThere, the transaction is closed and false returned.
bool LineMemoryBus::Send(std::uint8_t byte, Transfer::Byte what, int index, OnRefusal onRefusal,
                     Transfer& transfer) {
    bus_.WriteByte(byte);
    if (bus_.Ack != 0) return true;
    if (transfer.Answered()) transfer = {what, index};
    if (onRefusal == OnRefusal::SendOn) return true;
    bus_.I2CStop();
    return false;
}

// The word address, most significant byte first.
bool LineMemoryBus::SendWordAddress(int address, OnRefusal onRefusal, Transfer& transfer) {
    for (int n = Memory().addressBytes - 1; n >= 0; --n) {
        const auto byte = static_cast<std::uint8_t>(address >> (8 * n));
        if (!Send(byte, Transfer::Byte::WordAddress, 0, onRefusal, transfer)) return false;
    }
    return true;
}

// Lines: at rest on entry (SCL low after a transaction for Opened); SCL low and the device byte
// sent on a true return.
bool LineMemoryBus::Open(int address, Opening opening, OnRefusal onRefusal, Transfer& transfer) {
    const std::uint8_t device = DeviceByte(address);
    switch (opening.way) {
        case Opening::Way::Opened: return true;
        case Opening::Way::Polling:
            if (lpt::PollAcknowledge(bus_, device, clock_, opening.limit)) return true;
            transfer = {Transfer::Byte::DeviceAddress, 0};
            return false;  // the last poll's stop closed it
        case Opening::Way::Retrying:
            bus_.I2CStart();
            bus_.WriteByte(device);
            if (bus_.Ack != 0 ||
                RepeatAddress(bus_, device, clock_, opening.limit, /*stopAfterRefusal=*/false))
                return true;
            transfer = {Transfer::Byte::DeviceAddress, 0};
            if (onRefusal == OnRefusal::SendOn) return true;
            bus_.I2CStop();
            return false;
        case Opening::Way::Once: break;
    }
    bus_.I2CStart();
    return Send(device, Transfer::Byte::DeviceAddress, 0, onRefusal, transfer);
}

Transfer LineMemoryBus::SequentialRead(int address, int count, const ByteSink& sink,
                                       Opening opening, OnRefusal onRefusal, ReadEnding ending) {
    Transfer transfer;
    if (!Open(address, opening, onRefusal, transfer)) return transfer;
    if (!SendWordAddress(address, onRefusal, transfer)) return transfer;
    bus_.I2CStart();  // repeated start
    const auto read = static_cast<std::uint8_t>(DeviceByte(address) | 1);
    if (!Send(read, Transfer::Byte::ReadAddress, 0, onRefusal, transfer)) return transfer;
    ReadBytes(count, sink, ending);
    return transfer;
}

// The bytes of a read whose read address was acknowledged, its ending and its stop.
void LineMemoryBus::ReadBytes(int count, const ByteSink& sink, ReadEnding ending) {
    for (int i = 0; i < count; ++i) {
        bus_.Ack = i + 1 < count ? 1 : 0;  // each byte acknowledged but the last
        const std::uint8_t value = bus_.ReadByte();
        if (sink) sink(i, value);
    }
    if (ending == ReadEnding::NackAndStop) bus_.WriteBit(kTrue);  // SDA released: no acknowledge
    bus_.I2CStop();
}

Transfer LineMemoryBus::CurrentAddressRead(std::uint8_t deviceByte, int count,
                                           const ByteSink& sink, ReadEnding ending) {
    Transfer transfer;
    bus_.I2CStart();
    const auto read = static_cast<std::uint8_t>(deviceByte | 1);
    if (!Send(read, Transfer::Byte::ReadAddress, 0, OnRefusal::StopThere, transfer))
        return transfer;
    ReadBytes(count, sink, ending);
    return transfer;
}

Transfer LineMemoryBus::PageWrite(int address, const std::uint8_t* data, int count,
                                  Opening opening, OnRefusal onRefusal) {
    Transfer transfer;
    if (!Open(address, opening, onRefusal, transfer)) return transfer;
    if (!SendWordAddress(address, onRefusal, transfer)) return transfer;
    for (int i = 0; i < count; ++i)
        if (!Send(data[i], Transfer::Byte::Data, i, onRefusal, transfer)) return transfer;
    bus_.I2CStop();  // the memory starts its write cycle here
    return transfer;
}

}  // namespace lpt
