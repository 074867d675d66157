// What the memory operations tell the user when the bus or the memory fails: each failure's cause
// and remedy in both languages (see common/user_error.h).
#pragma once

#include <cstdint>
#include <string>

#include "bus/clock.h"
#include "common/chips.h"
#include "common/user_error.h"
#include "operations/bus_check.h"
#include "operations/memory_bus.h"
#include "operations/memory_lines.h"

namespace lpt {

// SDA stays low after the bus clear; nothing was sent. The pins named are the cable's.
BusError StuckLow(const Cable& cable = DirectCable());
// The memory at `device` acknowledged none of the polls of its address, made for `limit`.
BusError NoAnswer(std::uint8_t device, TimeNs limit = kWriteCycleLimit,
                  const MemoryLines& wiring = DirectCable());
// After the read of `block` of `memory` the memory at `device` no longer acknowledges its
// address: bytes of the block may have read as FF.
BusError StoppedAnswering(const MemoryGeometry& memory, int block, std::uint8_t device,
                          const MemoryLines& wiring = DirectCable());
// The memory at `device` did not acknowledge `what` ("word address", "read address").
BusError Unacknowledged(std::uint8_t device, const Wording& what,
                        const MemoryLines& wiring = DirectCable());
// What Unacknowledged names.
extern const Wording kWordAddress;
extern const Wording kReadAddress;
// The memory did not acknowledge byte `byteIndex` (0 the word address) of the write of `page`.
BusError PageRefused(const MemoryGeometry& memory, int page, int byteIndex);
// The memory did not end the write cycle of `page` within the chip's write-cycle limit.
BusError PageUnfinished(const MemoryGeometry& memory, int page);
// A random read with the word address of `memory` did not give the byte the sequential read
// gave at that address: the memory takes a word address of the other width. Nothing was written.
BusError WrongAddressing(const MemoryGeometry& memory);
// What a memory that reads back otherwise than `memory` is addressed may be, to be said after
// the other causes: "it may not take a one-byte word address: is the chip a 24c32 or larger?".
Wording OtherAddressing(const MemoryGeometry& memory);
// How far a write got when it failed after `written` of its `total` pages; `verifying`: all of
// them were written and the failure came in their read-back. Said after the error that cut it.
Wording PagesDone(int written, int total, bool verifying);

}  // namespace lpt
