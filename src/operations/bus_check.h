// The bus check every bus operation starts with, and the bus clear behind it.
//
// A line held low reads as an acknowledge everywhere and as 0 in every data bit, so a bus with
// SDA stuck low would pass every read as zeros and every write as done. The check costs one
// status read on a healthy bus at rest. When SDA reads low, or when the last transaction was
// cut short by a port failure (a memory may still be holding SDA in the middle of a byte), the
// bus is cleared: SDA released, up to nine SCL pulses until SDA reads high, then a start and a
// stop. The start makes the memory drop any page it was half given, so the clear never commits
// bytes nobody finished sending; the stop leaves the bus at rest.
#pragma once

#include <string>

#include "bus/bus_error.h"
#include "bus/clock.h"
#include "bus/i2c_bus.h"
#include "common/user_error.h"

namespace lpt {

struct BusCheck {
    bool cleared = false;  // the bus clear ran
    int pulses = 0;        // SCL pulses it gave
};

// With the bus at rest (or cut short by a failure): senses SDA, clears the bus when needed and
// senses again. Throws BusError when SDA stays low; nothing else is sent then. Where the cable
// reads SCL back, SCL is sensed too (one more status read), and SCL low at rest throws BusError
// before anything is sent.
BusCheck CheckBus(I2CBus& bus);

// The clear alone: SCL low, SDA released, up to nine clock pulses until SDA reads high, then a
// start and a stop when it does. Returns the pulses given. Lines: any on entry; at rest on exit
// when SDA came free, SCL high and SDA released (but held low) otherwise.
int ClearBus(I2CBus& bus);

}  // namespace lpt
