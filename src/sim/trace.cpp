#include "sim/trace.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <utility>

namespace lpt::sim {

namespace {

// Feeds the wire levels of a record of port calls to `step` one line change at a time. A call
// normally moves one line; when both moved (a device changed SDA in reaction to the master's
// SCL edge, or out of turn), the SDA change is taken at the low side of the clock edge: after a
// falling edge, before a rising one. Devices only ever change SDA while SCL is low.
void ForEachChange(const std::vector<PortCall>& calls,
                   const std::function<void(std::size_t index, bool scl, bool sda, bool prevScl,
                                            bool prevSda)>& step) {
    bool scl = true;
    bool sda = true;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const PortCall& c = calls[i];
        if (c.scl != scl && c.sda != sda) {
            if (c.scl) {
                step(i, scl, c.sda, scl, sda);
                step(i, c.scl, c.sda, scl, c.sda);
            } else {
                step(i, c.scl, sda, scl, sda);
                step(i, c.scl, c.sda, c.scl, sda);
            }
        } else if (c.scl != scl || c.sda != sda) {
            step(i, c.scl, c.sda, scl, sda);
        }
        scl = c.scl;
        sda = c.sda;
    }
}

class Decoder {
public:
    void Step(std::size_t index, bool scl, bool sda, bool prevScl, bool prevSda) {
        if (scl && !prevScl) {
            Rise(sda);
        } else if (!scl && prevScl) {
            Fall(index);
        } else if (scl && !sda && prevSda) {
            Condition(index, true);
        } else if (scl && sda && !prevSda) {
            Condition(index, false);
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

void KeepMin(std::optional<TimeNs>& slot, TimeNs value) {
    if (!slot || value < *slot) {
        slot = value;
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
    ForEachChange(calls, [&decoder](std::size_t i, bool scl, bool sda, bool prevScl, bool prevSda) {
        decoder.Step(i, scl, sda, prevScl, prevSda);
    });
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
    ForEachChange(calls, [&](std::size_t i, bool scl, bool sda, bool prevScl, bool prevSda) {
        const TimeNs t = calls[i].time;
        if (scl && !prevScl) {
            if (lastRise) KeepMin(m.clockPeriod, t - *lastRise);
            if (lastFall) KeepMin(m.sclLow, t - *lastFall);
            if (dataChange) KeepMin(m.dataSetup, t - *dataChange);
            dataChange.reset();
            lastRise = t;
        } else if (!scl && prevScl) {
            // The levels before the first call are assumed, not measured: no rise, no high time.
            if (lastRise) KeepMin(m.sclHigh, t - *lastRise);
            if (startFall) KeepMin(m.startHold, t - *startFall);
            startFall.reset();
            lastFall = t;
        } else if (!scl) {
            dataChange = t;
        } else if (!sda && prevSda) {
            if (inTx) {
                if (lastRise) KeepMin(m.startSetup, t - *lastRise);
            } else if (lastStop) {
                KeepMin(m.busFree, t - *lastStop);
            }
            inTx = true;
            startFall = t;
        } else if (sda && !prevSda) {
            if (lastRise) KeepMin(m.stopSetup, t - *lastRise);
            lastStop = t;
            inTx = false;
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
