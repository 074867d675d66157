// What the memory operations tell the user when the bus or the memory fails: each failure's cause
// and remedy in both languages (see common/user_error.h).
#pragma once

#include <cstdint>
#include <string>

#include "common/user_error.h"
#include "operations/bus_check.h"

namespace lpt {

// SDA stays low after the bus clear; nothing was sent. The pins named are the cable's.
BusError StuckLow(const Cable& cable = DirectCable());
// The memory at `device` acknowledged none of the polls of its address.
BusError NoAnswer(std::uint8_t device);
// After the read of `block` the memory at `device` no longer acknowledges its address: bytes of
// the block may have read as FF.
BusError StoppedAnswering(int block, std::uint8_t device);
// The memory at `device` did not acknowledge `what` ("word address", "read address").
BusError Unacknowledged(std::uint8_t device, const std::string& what);
// The memory did not acknowledge byte `byteIndex` (0 the word address) of the write of `page`.
BusError PageRefused(int page, int byteIndex);
// The memory did not end the write cycle of `page` within the limit of acknowledge polling.
BusError PageUnfinished(int page);
// How far a write got when it failed after `written` of its `total` pages; `verifying`: all of
// them were written and the failure came in their read-back. Said after the error that cut it.
Wording PagesDone(int written, int total, bool verifying);

}  // namespace lpt
