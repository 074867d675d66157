// The simulated bus every rig starts from: a port with the simulated memory on its wires, on a
// virtual clock, the memory filled with a known pattern, and what the wire carried so far.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "bus/clock.h"
#include "common/chips.h"
#include "sim/sim_eeprom.h"
#include "sim/sim_port.h"
#include "sim/trace.h"
#include "sim/wire_events.h"

namespace lpt::testing {

struct SimBus {
    // The byte each cell starts with; an empty one leaves the memory erased (all FF).
    using Fill = std::function<std::uint8_t(int address)>;

    // `step`: how far every clock reading moves virtual time on (zero: only Advance() moves it);
    // `chip`: the part the memory models.
    explicit SimBus(bool memoryPresent = true, const Fill& fill = {},
                    TimeNs step = std::chrono::microseconds(100), const ChipChoice& chip = {})
        : clock(step), eeprom(clock.Fn(), chip) {
        if (memoryPresent) port.Attach(eeprom);
        if (fill) {
            for (int a = 0; a < eeprom.Size(); ++a) eeprom.Memory()[a] = fill(a);
        }
    }
    ~SimBus() { port.Detach(eeprom); }
    SimBus(const SimBus&) = delete;
    SimBus& operator=(const SimBus&) = delete;

    sim::DecodedTrace Decode() const { return sim::DecodeTrace(port.Calls()); }

    // Stop conditions on the wire so far, counted incrementally (cheap enough for every turn).
    size_t Stops() {
        stopWalker_.CatchUp(port.Calls());
        return stops_;
    }

    SteppingClock clock;
    sim::SimPort port;
    sim::SimEeprom eeprom;

private:
    size_t stops_ = 0;
    sim::WireWalker stopWalker_{[this](const sim::WireEvent& e) {
        if (e.kind == sim::WireEventKind::Stop) ++stops_;
    }};
};

// A copy of the simulated memory's bytes, as the image code holds them.
inline std::vector<std::uint8_t> Contents(const sim::SimEeprom& eeprom) { return eeprom.Memory(); }

}  // namespace lpt::testing
