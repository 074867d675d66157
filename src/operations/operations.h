// The work behind the buttons. Each operation drives the bus only through the bus procedures
// and Ack, writes the grid only through PlaceByte, and reports through Feedback.
//
// The reads and the writes count, while they run, the transactions in which a byte the memory
// should have acknowledged (a device address, a word address, a data byte written) went
// unanswered. The wire traffic does not depend on it: no retry, no polling, no extra byte.
#pragma once

#include <string>

#include "bus/i2c_bus.h"
#include "operations/dump_grid.h"
#include "operations/feedback.h"
#include "operations/timed_pause.h"

namespace lpt {

enum class OperationKind { BlockRead, ByteRead, BlockFill, PatternWrite };

struct OperationResult {
    OperationKind kind;
    int transactions = 0;  // transactions sent
    int unanswered = 0;    // of them, those with a byte the memory did not acknowledge
};

// The length of the pause after every write transaction: the memory's write cycle.
constexpr float kWritePause = 0.005f;

// Sequential read of the whole memory, one transaction per 256-byte block, into the grid.
// Beeps once at the end.
OperationResult BlockRead(I2CBus& bus, DumpGrid& grid, Feedback& feedback);

// Random read of the whole memory, one complete transaction per byte, into the grid.
// Beeps once at the end.
OperationResult ByteRead(I2CBus& bus, DumpGrid& grid, Feedback& feedback);

// Fills word addresses 0 to 255 of block 0 with 0xFF in sixteen 16-byte page writes, with the
// whole window disabled meanwhile; pauses after every page. Beeps at the end.
OperationResult BlockFill(I2CBus& bus, Feedback& feedback, TimedPause& pause);

// Writes the value i to word address i of block 0, one byte write per byte, with only its own
// button disabled; pauses after every byte. Beeps at the end.
OperationResult PatternWrite(I2CBus& bus, Feedback& feedback, TimedPause& pause);

// Probes the even address bytes 0 to 254 and appends each acknowledged one, in hex followed by
// a space, to the text box; the caption shows each probed address in decimal.
void BusScan(I2CBus& bus, Feedback& feedback);

// The operation's name as the window shows it ("Чтение блоками", ...).
std::string OperationTitle(OperationKind kind);

// The warning shown when some transactions of a run went unanswered; empty when none did.
std::string UnansweredWarning(const OperationResult& result);

}  // namespace lpt
