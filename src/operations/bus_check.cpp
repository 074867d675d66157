#include "operations/bus_check.h"

#include <algorithm>

#include "operations/memory_errors.h"

namespace lpt {

int ClearBus(I2CBus& bus) {
    // SCL low first: releasing SDA while SCL is high could be taken for a stop that commits a
    // page the memory was only half given.
    bus.SetSCL(kFalse);
    bus.SetSDA(kTrue);
    int pulses = 0;
    bool free = false;
    while (pulses < 9 && !free) {
        if (pulses > 0) bus.SetSCL(kFalse);
        bus.SetSCL(kTrue);
        ++pulses;
        free = bus.SenseSDA() != kFalse;
    }
    if (free) {
        // SCL high, SDA high: a start (the memory forgets a half-written page), then a stop.
        bus.I2CStart();
        bus.I2CStop();
    }
    return pulses;
}

BusCheck CheckBus(I2CBus& bus) {
    BusCheck check;
    if (!bus.Interrupted() && !bus.AtRest()) {
        // Nothing known of the lines yet (the first contact failed at load): put them at rest.
        bus.SetSDA(kTrue);
        bus.SetSCL(kTrue);
    }
    if (!bus.Interrupted()) {
        // Where the cable reads SCL back, a clock held low stops everything: the clear below
        // needs SCL free.
        if (bus.GetCable().sclIn.Wired() && bus.SenseSCL() == kFalse)
            throw SclStuckLow(bus.GetCable());
        if (bus.SenseSDA() != kFalse) return check;
    }
    check.cleared = true;
    check.pulses = ClearBus(bus);
    if (bus.SenseSDA() == kFalse) throw StuckLow(bus.GetCable());
    return check;
}

}  // namespace lpt
