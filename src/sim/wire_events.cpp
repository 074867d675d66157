#include "sim/wire_events.h"

namespace lpt::sim {

void WireWalker::Feed(const PortCall& call) {
    const bool sclMoved = call.scl != scl_;
    const bool sdaMoved = call.sda != sda_;
    if (sclMoved && call.scl) {
        if (sdaMoved) Emit(WireEventKind::DataChange, call, call.sda);
        Emit(WireEventKind::SclRise, call, call.sda);
    } else if (sclMoved) {
        Emit(WireEventKind::SclFall, call, sda_);
        if (sdaMoved) Emit(WireEventKind::DataChange, call, call.sda);
    } else if (sdaMoved) {
        const WireEventKind kind = !call.scl  ? WireEventKind::DataChange
                                   : call.sda ? WireEventKind::Stop
                                              : WireEventKind::Start;
        Emit(kind, call, call.sda);
    }
    scl_ = call.scl;
    sda_ = call.sda;
    ++fed_;
}

void WireWalker::CatchUp(const std::vector<PortCall>& record) {
    while (fed_ < record.size()) Feed(record[fed_]);
}

void WireWalker::Emit(WireEventKind kind, const PortCall& call, bool sda) {
    sink_(WireEvent{kind, fed_, call.time, sda});
}

void WalkWire(const std::vector<PortCall>& calls, const WireWalker::Sink& sink) {
    WireWalker(sink).CatchUp(calls);
}

long CountWireEvents(const std::vector<PortCall>& calls, WireEventKind kind) {
    long n = 0;
    WalkWire(calls, [&n, kind](const WireEvent& e) { n += e.kind == kind ? 1 : 0; });
    return n;
}

}  // namespace lpt::sim
