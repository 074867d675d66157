// The wire as a master's observer sees it: a record of port calls turned into line events, one
// at a time, in the order they happened on the wire.
//
// Both lines are taken high (an idle bus) before the first call. A call normally moves one line.
// When it moved both (a device changed SDA in reaction to the master's SCL edge, or out of turn),
// the SDA change is taken at the low side of the clock edge: after a falling edge, before a
// rising one, since devices only ever change SDA while SCL is low. A call that moved neither line
// gives no event.
//
// The simulated devices do not use this: a device model and the tools that check it must not
// share their reading of the wire.
#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

#include "sim/sim_port.h"

namespace lpt::sim {

enum class WireEventKind {
    SclRise,     // SCL went high; `sda` is the level a receiver samples
    SclFall,     // SCL went low
    Start,       // SDA fell while SCL was high (a start or a repeated start)
    Stop,        // SDA rose while SCL was high
    DataChange,  // SDA moved while SCL was low: the next bit being set up
};

struct WireEvent {
    WireEventKind kind;
    std::size_t index;  // of the port call that made it, counted from the first call fed
    TimeNs time;        // that call's time
    bool sda;           // SDA after the event
};

class WireWalker {
public:
    using Sink = std::function<void(const WireEvent&)>;

    explicit WireWalker(Sink sink) : sink_(std::move(sink)) {}

    // The events of the next call, in wire order.
    void Feed(const PortCall& call);
    // The calls of a growing record not fed yet (those from index Fed() on).
    void CatchUp(const std::vector<PortCall>& record);
    std::size_t Fed() const { return fed_; }

private:
    void Emit(WireEventKind kind, const PortCall& call, bool sda);

    Sink sink_;
    bool scl_ = true;
    bool sda_ = true;
    std::size_t fed_ = 0;
};

// Every event of a whole record, in order.
void WalkWire(const std::vector<PortCall>& calls, const WireWalker::Sink& sink);

// How many events of that kind a record holds.
long CountWireEvents(const std::vector<PortCall>& calls, WireEventKind kind);

}  // namespace lpt::sim
