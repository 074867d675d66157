#include "operations/operations.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "operations/bus_check.h"

namespace lpt {

namespace {

// The most bytes a button reads in one sequential read.
constexpr int kReadChunk = 256;

// Opens each write transaction of a button: a start and the device address, as always. A memory
// still in the write cycle of the transaction before (slower than the 5 ms pause, as old parts
// are) refuses the address; the start and the address are then repeated until it acknowledges,
// for as long as a WriteCycleWait of kWriteCycleLimit on the pause's clock lasts, before the
// rest of the transaction goes out. A memory that keeps to the pause acknowledges at once and
// sees the traffic unchanged. Once the memory has not answered within the limit, the rest of the
// run does not wait again: a missing memory costs one wait per run, not one per transaction,
// and the transactions still go out and are counted unanswered.
class WriteOpener {
public:
    explicit WriteOpener(TimeNs limit) : limit_(limit) {}
    Opening Next() const { return gaveUp_ ? Opening::Once() : Opening::Retrying(limit_); }

    // After each transaction it opened.
    void Note(const Transfer& transfer) {
        const bool answered = transfer.refused != Transfer::Byte::DeviceAddress;
        if (!gaveUp_)
            gaveUp_ = !answered;
        else if (answered)
            answeredSince_ = true;
    }

    // How long the read-back may poll: the whole limit, unless the run already waited it out
    // in vain and the memory has answered nothing since (one poll then).
    TimeNs ReadBackLimit() const {
        return gaveUp_ && !answeredSince_ ? TimeNs{0} : limit_;
    }

private:
    TimeNs limit_;
    bool gaveUp_ = false;         // the memory did not answer within the limit
    bool answeredSince_ = false;  // and then acknowledged a device address again
};

// The bytes a write put into the first 256 (block 0 of a 24c16) and still owns, read back in one
// sequential read after its last pause. The memory may still be finishing a slow write cycle: the read's device
// address is polled until acknowledged, for at most `limit`, which on a memory that kept to the
// pause costs nothing.
ReadBack ReadBackBlock0(MemoryBus& memory, TimeNs limit, const WriteJournal& journal, int writer,
                        const std::array<std::uint8_t, kButtonBytes>& written) {
    ReadBack check;
    if (memory.Interrupted()) memory.CheckBus();
    const int count = ButtonBytes(memory.Memory());
    std::array<std::uint8_t, kButtonBytes> found{};
    const Transfer read = memory.SequentialRead(
        0, count, [&found](int i, std::uint8_t v) { found[static_cast<size_t>(i)] = v; },
        Opening::Polling(limit), OnRefusal::StopThere);
    if (!read.Answered()) return check;
    check.answered = true;
    for (int a = 0; a < count; ++a) {
        if (!journal.Owns(writer, a)) continue;  // overwritten by a write nested in a pause
        ++check.compared;
        const auto i = static_cast<size_t>(a);
        if (found[i] != written[i]) check.mismatches.push_back({a, written[i], found[i]});
    }
    return check;
}

// A write of block 0 and its proof: its place in the journal and the bytes it wrote.
class Block0Proof {
public:
    explicit Block0Proof(WriteJournal* shared)
        : log_(shared ? *shared : own_), writer_(log_.Begin()) {}
    void Wrote(int address, std::uint8_t value) {
        log_.Record(writer_, address);
        written_[static_cast<size_t>(address)] = value;
    }
    ReadBack Check(MemoryBus& memory, TimeNs limit) const {
        return ReadBackBlock0(memory, limit, log_, writer_, written_);
    }

private:
    WriteJournal own_;
    WriteJournal& log_;
    int writer_;
    std::array<std::uint8_t, kButtonBytes> written_{};
};

// Counts one transaction of a run, and whether the memory left a byte of it unanswered.
void Count(OperationResult& result, const Transfer& transfer) {
    ++result.transactions;
    if (!transfer.Answered()) ++result.unanswered;
}

// A button's read of the whole memory, after the bus check: each byte read goes to the grid at
// the cursor, from row 1, column 1 on, sixteen to a row, and into the result in address order.
struct ReadRun {
    ReadRun(MemoryBus& memory, DumpGrid& into, OperationKind kind, int size)
        : grid(into), result{kind} {
        memory.CheckBus();
        result.data.reserve(static_cast<size_t>(size));
    }
    void Keep(std::uint8_t value) {
        PlaceByte(grid, cursor, value);
        result.data.push_back(value);
    }

    DumpGrid& grid;
    WriteCursor cursor;
    OperationResult result;
};

// A button's write run over the first 256 bytes: one write transaction of `bytesPerWrite` bytes
// at a time, the bytes `value` gives for their addresses, every byte sent whatever the memory
// answers; a pause after each transaction, then the read-back.
OperationResult WriteBlock0(MemoryBus& memory, TimedPause& pause, WriteJournal* journal,
                            const BusReady& busReady, OperationKind kind, int bytesPerWrite,
                            std::uint8_t (*value)(int address)) {
    OperationResult result{kind};
    memory.CheckBus();
    memory.CheckWritable();
    if (busReady) busReady();
    const MemoryGeometry& geometry = memory.Memory();
    Block0Proof proof(journal);
    WriteOpener opener(geometry.WriteCycleLimit());
    std::vector<std::uint8_t> data(static_cast<size_t>(bytesPerWrite));
    const float writePause = WritePause(geometry);
    for (int address = 0; address < ButtonBytes(geometry); address += bytesPerWrite) {
        // An operation nested in the last pause may have been cut short by a port failure in
        // the middle of a transaction; clear the bus before the next transaction goes out.
        if (memory.Interrupted()) memory.CheckBus();
        for (int n = 0; n < bytesPerWrite; ++n) data[static_cast<size_t>(n)] = value(address + n);
        const Transfer write =
            memory.PageWrite(address, data.data(), bytesPerWrite, opener.Next(), OnRefusal::SendOn);
        opener.Note(write);
        Count(result, write);
        for (int n = 0; n < bytesPerWrite; ++n)
            proof.Wrote(address + n, data[static_cast<size_t>(n)]);
        pause.Pause(writePause);
    }
    result.readBack = proof.Check(memory, opener.ReadBackLimit());
    result.readBackDone = true;
    return result;
}

}  // namespace

float WritePause(const MemoryGeometry& memory) {
    return std::chrono::duration<float>(memory.writeCycle).count();
}

OperationResult BlockRead(MemoryBus& memory, DumpGrid& grid) {
    const MemoryGeometry& geometry = memory.Memory();
    ReadRun run(memory, grid, OperationKind::BlockRead, geometry.size);
    const ByteSink keep = [&run](int, std::uint8_t value) { run.Keep(value); };
    const int chunk = std::min(kReadChunk, geometry.BlockSize());
    for (int address = 0; address < geometry.size; address += chunk) {
        Count(run.result, memory.SequentialRead(address, chunk, keep, Opening::Once(),
                                                OnRefusal::SendOn));
    }
    return run.result;
}

OperationResult ByteRead(MemoryBus& memory, DumpGrid& grid) {
    ReadRun run(memory, grid, OperationKind::ByteRead, memory.Memory().size);
    for (int address = 0; address < memory.Memory().size; address += 1) {
        std::uint8_t value = 0;
        Count(run.result, memory.RandomRead(address, value, Opening::Once(), OnRefusal::SendOn));
        run.Keep(value);  // after the stop: the bus is idle while the grid is written
    }
    return run.result;
}

OperationResult BlockFill(MemoryBus& memory, TimedPause& pause, WriteJournal* journal,
                          const BusReady& busReady) {
    return WriteBlock0(memory, pause, journal, busReady, OperationKind::BlockFill,
                       std::min(memory.Memory().pageSize, ButtonBytes(memory.Memory())),
                       [](int) -> std::uint8_t { return 0xFF; });
}

OperationResult PatternWrite(MemoryBus& memory, TimedPause& pause, WriteJournal* journal,
                             const BusReady& busReady) {
    return WriteBlock0(memory, pause, journal, busReady, OperationKind::PatternWrite, 1,
                       [](int address) { return static_cast<std::uint8_t>(address); });
}

std::vector<std::uint8_t> BusScan(MemoryBus& memory, ScanListener& listener) {
    memory.CheckBus();
    std::vector<std::uint8_t> answered;
    for (int address = 0; address <= 254; address += 2) {
        const auto byte = static_cast<std::uint8_t>(address);
        if (memory.Probe(byte, [&] { listener.Answered(byte); })) answered.push_back(byte);
        listener.Probed(byte);
    }
    return answered;
}

// The same on the bus procedures' lines.

OperationResult BlockRead(I2CBus& bus, DumpGrid& grid, const MemoryGeometry& geometry) {
    LineMemoryBus memory(bus, SteadyNow, geometry);
    return BlockRead(memory, grid);
}

OperationResult ByteRead(I2CBus& bus, DumpGrid& grid, const MemoryGeometry& geometry) {
    LineMemoryBus memory(bus, SteadyNow, geometry);
    return ByteRead(memory, grid);
}

OperationResult BlockFill(I2CBus& bus, TimedPause& pause, WriteJournal* journal,
                          const BusReady& busReady, const MemoryGeometry& geometry) {
    LineMemoryBus memory(bus, pause.Clock(), geometry);
    return BlockFill(memory, pause, journal, busReady);
}

OperationResult PatternWrite(I2CBus& bus, TimedPause& pause, WriteJournal* journal,
                             const BusReady& busReady, const MemoryGeometry& geometry) {
    LineMemoryBus memory(bus, pause.Clock(), geometry);
    return PatternWrite(memory, pause, journal, busReady);
}

std::vector<std::uint8_t> BusScan(I2CBus& bus, ScanListener& listener) {
    LineMemoryBus memory(bus);
    return BusScan(memory, listener);
}

std::vector<std::uint8_t> BusScan(I2CBus& bus) {
    ScanListener none;
    return BusScan(bus, none);
}

}  // namespace lpt
