#include "sim/trace.h"

#include <cstdint>
#include <cstdio>
#include <utility>

#include "sim/wire_events.h"

namespace lpt::sim {

namespace {

class Decoder {
public:
    void Step(const WireEvent& e) {
        switch (e.kind) {
            case WireEventKind::SclRise: Rise(e.sda); break;
            case WireEventKind::SclFall: Fall(e.index); break;
            case WireEventKind::Start: Condition(e.index, true); break;
            case WireEventKind::Stop: Condition(e.index, false); break;
            case WireEventKind::DataChange: break;  // the next bit being set up
        }
    }

    DecodedTrace Finish() {
        if (inTx_) {
            out_.transactions.push_back(tx_);  // cut off by the end of the record
            inTx_ = false;
        }
        return std::move(out_);
    }

private:
    void Rise(bool sda) {
        if (!inTx_) {
            idleRise_ = true;
            return;
        }
        ++rises_;
        if (rises_ <= 8) {
            byte_ = static_cast<std::uint8_t>((byte_ << 1) | (sda ? 1 : 0));
        } else {
            ninthSda_ = sda;
        }
    }

    void Fall(std::size_t index) {
        if (!inTx_) {
            // Only a complete clock counts: the lone rising edge of a stop sent on an idle bus
            // (to free it) is harmless.
            if (idleRise_ && !idleFaultReported_) {
                Fault(index, "bits clocked outside a transaction");
                idleFaultReported_ = true;
            }
            idleRise_ = false;
            return;
        }
        if (rises_ == 9) {
            EmitByte(ninthSda_ ? '-' : '+');
        }
    }

    void Condition(std::size_t index, bool start) {
        if (!inTx_) {
            if (start) {
                inTx_ = true;
                tx_ = "S";
                ResetByte();
                idleRise_ = false;
                idleFaultReported_ = false;
            }
            // A stop on an idle bus starts and ends nothing.
            return;
        }
        // SCL is high: its last rising edge belongs to this condition, not to a complete bit.
        const int complete = rises_ > 0 ? rises_ - 1 : 0;
        if (complete == 8) {
            // The byte's eighth bit was followed straight by this condition's clock edge.
            EmitByte('.');
            if (start) {
                Fault(index, "SDA fell while SCL was high during a byte's ninth clock");
            }
        } else if (complete > 0) {
            Fault(index, std::string(start ? "start" : "stop") + " inside a byte (" +
                             std::to_string(complete) + " bits clocked)");
        }
        ResetByte();
        if (start) {
            tx_ += " Sr";
        } else {
            tx_ += " P";
            out_.transactions.push_back(tx_);
            inTx_ = false;
        }
    }

    void EmitByte(char ninth) {
        char text[8];
        std::snprintf(text, sizeof text, " %02X%c", byte_, ninth);
        tx_ += text;
        ResetByte();
    }

    void ResetByte() {
        rises_ = 0;
        byte_ = 0;
    }

    void Fault(std::size_t index, const std::string& what) {
        out_.faults.push_back("call " + std::to_string(index) + ": " + what);
    }

    DecodedTrace out_;
    std::string tx_;
    bool inTx_ = false;
    int rises_ = 0;  // rising SCL edges in the current byte, ninth clock included
    std::uint8_t byte_ = 0;
    bool ninthSda_ = true;
    bool idleRise_ = false;
    bool idleFaultReported_ = false;
};

// Keeps in `slot` the shortest time from `from` to `to` seen so far; no `from`, nothing to measure.
void KeepMin(std::optional<TimeNs>& slot, const std::optional<TimeNs>& from, TimeNs to) {
    if (from && (!slot || to - *from < *slot)) {
        slot = to - *from;
    }
}

std::string Micros(TimeNs t) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f us", static_cast<double>(t.count()) / 1000.0);
    return text;
}

struct Entry {
    const char* name;
    const std::optional<TimeNs>* measured;
    TimeNs limit;
};

std::vector<Entry> Entries(const TimingMinima& m, const lpt::LineTiming& l) {
    return {
        {"clockPeriod", &m.clockPeriod, l.clockPeriod}, {"sclLow", &m.sclLow, l.sclLow},
        {"sclHigh", &m.sclHigh, l.sclHigh},             {"startHold", &m.startHold, l.startHold},
        {"startSetup", &m.startSetup, l.startSetup},    {"stopSetup", &m.stopSetup, l.stopSetup},
        {"busFree", &m.busFree, l.busFree},             {"dataSetup", &m.dataSetup, l.dataSetup},
    };
}

}  // namespace

std::string DecodedTrace::Text() const {
    std::string text;
    for (const std::string& t : transactions) {
        if (!text.empty()) {
            text += ' ';
        }
        text += t;
    }
    return text;
}

DecodedTrace DecodeTrace(const std::vector<PortCall>& calls) {
    Decoder decoder;
    WalkWire(calls, [&decoder](const WireEvent& e) { decoder.Step(e); });
    return decoder.Finish();
}

TimingMinima CheckTiming(const std::vector<PortCall>& calls) {
    TimingMinima m;
    std::optional<TimeNs> lastRise;
    std::optional<TimeNs> lastFall;
    std::optional<TimeNs> dataChange;  // SDA change with SCL low, waiting for the next rise
    std::optional<TimeNs> startFall;   // a start, waiting for the SCL fall that ends its hold
    std::optional<TimeNs> lastStop;
    bool inTx = false;
    WalkWire(calls, [&](const WireEvent& e) {
        const TimeNs t = e.time;
        switch (e.kind) {
            case WireEventKind::SclRise:
                KeepMin(m.clockPeriod, lastRise, t);
                KeepMin(m.sclLow, lastFall, t);
                KeepMin(m.dataSetup, std::exchange(dataChange, std::nullopt), t);
                lastRise = t;
                break;
            case WireEventKind::SclFall:
                // The levels before the first call are assumed, not measured: no rise, no high
                // time.
                KeepMin(m.sclHigh, lastRise, t);
                KeepMin(m.startHold, std::exchange(startFall, std::nullopt), t);
                lastFall = t;
                break;
            case WireEventKind::DataChange:
                dataChange = t;
                break;
            case WireEventKind::Start:
                // A repeated start is set up from the clock's rise; a first one follows the
                // bus free time since the last stop.
                KeepMin(inTx ? m.startSetup : m.busFree, inTx ? lastRise : lastStop, t);
                inTx = true;
                startFall = t;
                break;
            case WireEventKind::Stop:
                KeepMin(m.stopSetup, lastRise, t);
                lastStop = t;
                inTx = false;
                break;
        }
    });
    return m;
}

std::vector<std::string> TimingMinima::Violations(const lpt::LineTiming& limits) const {
    std::vector<std::string> lines;
    for (const Entry& e : Entries(*this, limits)) {
        if (e.limit > TimeNs::zero() && *e.measured && **e.measured < e.limit) {
            lines.push_back(std::string(e.name) + " " + Micros(**e.measured) + " < " +
                            Micros(e.limit));
        }
    }
    return lines;
}

std::string TimingMinima::Report() const {
    std::string text;
    for (const Entry& e : Entries(*this, lpt::LineTiming{})) {
        text += std::string(e.name) + " " + (*e.measured ? Micros(**e.measured) : "(none)") + "\n";
    }
    return text;
}

}  // namespace lpt::sim
