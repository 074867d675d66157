// The work behind the buttons. Each operation drives the memory only through the memory bus
// (the bus procedures and Ack underneath), writes the grid only through PlaceByte, and returns
// what it found; what the window shows of it, and what it disables meanwhile, the window decides.
//
// Every operation starts with the bus check (one status read on a healthy bus; see
// bus_check.h) and sends nothing when SDA is stuck low. The reads and the writes count, while
// they run, the transactions in which a byte the memory should have acknowledged (a device
// address, a word address, a data byte written) went unanswered. The one retry: when the device
// address that opens a write transaction is refused (a memory slower than the 5 ms pause is
// still in its write cycle), the write repeats the start and the address until it is
// acknowledged, for at most kWriteCycleLimit, and only once per run in vain; a memory that keeps
// to the pause sees no extra byte. After its last pause each write reads what it wrote back in one
// sequential read and compares it with what it wrote.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "bus/i2c_bus.h"
#include "operations/dump_grid.h"
#include "operations/memory_bus.h"
#include "operations/timed_pause.h"

namespace lpt {

enum class OperationKind { BlockRead, ByteRead, BlockFill, PatternWrite };

// A byte that read back other than written.
struct Mismatch {
    int address;
    std::uint8_t expected;
    std::uint8_t found;
};

// A write's proof: the bytes it wrote read back after the write's last pause.
struct ReadBack {
    bool answered = false;             // the memory acknowledged the read (else nothing compared)
    int compared = 0;                  // bytes compared
    std::vector<Mismatch> mismatches;  // every byte that differs, in address order
};

struct OperationResult {
    OperationKind kind;
    int transactions = 0;  // transactions sent (a write's read-back not counted)
    int unanswered = 0;    // of them, those with a byte the memory did not acknowledge
    bool readBackDone = false;
    ReadBack readBack{};   // writes only, when readBackDone
    std::vector<std::uint8_t> data{};  // reads: the bytes read, in address order (all when done)
};

// The bytes the buttons write and read back: the first 256 of the memory (all of a smaller one).
constexpr int kButtonBytes = 256;
constexpr int ButtonBytes(const MemoryGeometry& memory) {
    return memory.size < kButtonBytes ? memory.size : kButtonBytes;
}

// Which write last wrote each of the bytes the buttons write. A write clicked inside another
// write's pause may overwrite bytes the outer one wrote; the outer read-back then compares only
// the bytes that are still its own, so the user is not warned about what they asked for. Bytes
// beyond those the buttons write are not tracked.
class WriteJournal {
public:
    int Begin() { return ++lastWriter_; }
    void Record(int writer, int address) {
        if (address >= 0 && address < kButtonBytes) owner_[static_cast<size_t>(address)] = writer;
    }
    bool Owns(int writer, int address) const {
        return owner_.at(static_cast<size_t>(address)) == writer;
    }

private:
    std::array<int, kButtonBytes> owner_{};
    int lastWriter_ = 0;
};

// The length of the pause after every write transaction of the 24c16: its write cycle.
constexpr float kWritePause = 0.005f;
// The same for any memory, in seconds.
float WritePause(const MemoryGeometry& memory);

// Every operation works on the memory `memory` describes and carries its transactions.

// Sequential read of the whole memory, one transaction per 256 bytes (the whole of a smaller
// memory in one), into the grid.
OperationResult BlockRead(MemoryBus& memory, DumpGrid& grid);

// Random read of the whole memory, one complete transaction per byte, into the grid.
OperationResult ByteRead(MemoryBus& memory, DumpGrid& grid);

// Called by a write once its bus check has passed, before its first transaction: the window
// disables there what must take no input while the write runs.
using BusReady = std::function<void()>;

// Fills addresses 0 to 255 (block 0 of a 24c16: sixteen 16-byte page writes) with 0xFF in page
// writes of the memory's page size; pauses the memory's write cycle after every page (and waits
// for a slow memory's acknowledge before the next), then reads those bytes back. `journal` is
// shared by the writes that may nest inside each other's pauses; without one the write keeps
// its own. The memory bus's clock must be the pause's.
OperationResult BlockFill(MemoryBus& memory, TimedPause& pause, WriteJournal* journal = nullptr,
                          const BusReady& busReady = {});

// Writes the value i to address i for i = 0 to 255, one byte write per byte; pauses after every
// byte, then reads those bytes back.
OperationResult PatternWrite(MemoryBus& memory, TimedPause& pause,
                             WriteJournal* journal = nullptr, const BusReady& busReady = {});

// What a scan tells while it runs, one probe at a time. Nothing by default.
class ScanListener {
public:
    virtual ~ScanListener() = default;
    // The probe of `address` was acknowledged; its stop is still to come.
    virtual void Answered(std::uint8_t /*address*/) {}
    // The probe of `address` is over: its stop has been sent.
    virtual void Probed(std::uint8_t /*address*/) {}
};

// Probes the even address bytes 0 to 254, each with an address probe, and returns those
// acknowledged, in rising order.
std::vector<std::uint8_t> BusScan(MemoryBus& memory, ScanListener& listener);

// The same on the bus procedures' lines, with a memory bus of `memory` (the 24c16 unless another
// part was chosen) made for the run.
OperationResult BlockRead(I2CBus& bus, DumpGrid& grid, const MemoryGeometry& memory = k24c16);
OperationResult ByteRead(I2CBus& bus, DumpGrid& grid, const MemoryGeometry& memory = k24c16);
OperationResult BlockFill(I2CBus& bus, TimedPause& pause, WriteJournal* journal = nullptr,
                          const BusReady& busReady = {}, const MemoryGeometry& memory = k24c16);
OperationResult PatternWrite(I2CBus& bus, TimedPause& pause, WriteJournal* journal = nullptr,
                             const BusReady& busReady = {},
                             const MemoryGeometry& memory = k24c16);
std::vector<std::uint8_t> BusScan(I2CBus& bus, ScanListener& listener);
std::vector<std::uint8_t> BusScan(I2CBus& bus);

}  // namespace lpt
