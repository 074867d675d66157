#include "operations/cable_test.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "operations/bus_check.h"
#include "operations/hex_text.h"
#include "operations/operations.h"

namespace lpt {

namespace {

// The levels the test puts on the lines, in order: SDA moves only while SCL is low.
struct Step {
    bool sda;
    bool scl;
};
constexpr std::array<Step, 5> kSteps{{{true, true}, {true, false}, {false, false}, {true, false},
                                      {true, true}}};
constexpr int kFirstStatusBit = 3;
constexpr int kTimedReads = 301;

// What one status bit did over the steps.
struct Follow {
    bool sda = false;  // changed with SDA and only then
    bool scl = false;  // changed with SCL and only then
    bool inverted = false;  // 1 while the line it follows was low
    bool constant = false;
    bool value = false;  // the value, when constant
};

Follow Watch(const std::array<unsigned, kSteps.size()>& status, int bit) {
    const auto v = [&](std::size_t step) { return ((status[step] >> bit) & 1) != 0; };
    Follow f;
    f.sda = v(1) != v(2) && v(2) != v(3) && v(0) == v(1) && v(3) == v(4);
    f.scl = v(0) != v(1) && v(3) != v(4) && v(1) == v(2) && v(2) == v(3);
    f.inverted = f.sda ? v(2) : f.scl ? v(1) : false;
    f.constant = v(0) == v(1) && v(1) == v(2) && v(2) == v(3) && v(3) == v(4);
    f.value = v(0);
    return f;
}

std::string Pin(int bit) {
    // "pin 15 (S3 ERROR)"
    const std::string text = PinText(kStatusPort, bit);  // "S3 ERROR, pin 15"
    const auto comma = text.find(", ");
    return text.substr(comma + 2) + " (" + text.substr(0, comma) + ")";
}

std::string Out(const char* name, const LineBit& line) {
    return std::string(name) + " out (" + (line.inverted ? "~" : "") + PinText(line) + ")";
}

std::string Flipped(const LineBit& line) {
    LineBit other = line;
    other.inverted = !other.inverted;
    return BitName(other);
}

// The built-in cable whose input of that kind is this bit, read this way, if there is one.
std::string BuiltinWith(bool sda, int bit, bool inverted, const Cable& chosen) {
    const LineBit wanted{kStatusPort, bit, inverted};
    for (const Cable& c : BuiltinCables()) {
        if ((sda ? c.sdaIn : c.sclIn) == wanted && (sda ? c.sdaOut : c.sclOut) ==
                                                        (sda ? chosen.sdaOut : chosen.sclOut))
            return c.name;
    }
    for (const Cable& c : BuiltinCables()) {
        if ((sda ? c.sdaIn : c.sclIn) == wanted) return c.name;
    }
    return {};
}

// The lines about one input of the cable; true when it follows its output as the cable says.
bool ReportInput(std::vector<std::string>& out, const char* name, const LineBit& in,
                 const LineBit& own, const LineBit& other, const Cable& cable,
                 const std::array<unsigned, kSteps.size()>& status, bool sda) {
    const Follow f = Watch(status, in.bit);
    const std::string pin = Pin(in.bit);
    if ((sda ? f.sda : f.scl) && f.inverted == in.inverted) {
        out.push_back(Out(name, own) + " -> seen on " + pin + ": ok");
        return true;
    }
    if (sda ? f.sda : f.scl) {
        out.push_back(Out(name, own) + " -> seen inverted on " + pin + ": " + name +
                      " reads inverted: try " + (sda ? "sda-in=" : "scl-in=") + Flipped(in));
        return false;
    }
    const std::string signal = PinText(in);  // "S3 ERROR, pin 15"
    const auto comma = signal.find(", ");
    std::string line = std::string(name) + " in (" + signal.substr(comma + 2) + ", " +
                       signal.substr(0, comma) + ") does not follow " + name + " out";
    if (sda ? f.scl : f.sda) {
        Cable swapped = cable;
        std::swap(swapped.sdaOut, swapped.sclOut);
        line += ": it follows " + Out(sda ? "SCL" : "SDA", other) +
                ": SDA and SCL swapped? try " + swapped.Definition();
    } else if (f.constant) {
        line += std::string(": reads ") + (f.value != in.inverted ? "high" : "low") +
                " whatever " + name + " does: not wired, or no pull-up";
    } else {
        line += ": not wired, or no pull-up";
    }
    out.push_back(line);
    return false;
}

// Other status bits that follow a line: a hint at the cable it may really be.
void ReportOthers(std::vector<std::string>& out, const Cable& cable,
                  const std::array<unsigned, kSteps.size()>& status) {
    for (int bit = kFirstStatusBit; bit < 8; ++bit) {
        const Follow f = Watch(status, bit);
        for (const bool sda : {true, false}) {
            const LineBit& own = sda ? cable.sdaIn : cable.sclIn;
            if (!(sda ? f.sda : f.scl) || (own.Wired() && own.bit == bit)) continue;
            const char* name = sda ? "SDA" : "SCL";
            const LineBit seen{kStatusPort, bit, f.inverted};
            std::string line = "status " + Pin(bit) + " follows " + name;
            if (f.inverted) line += " (inverted)";
            const std::string builtin = BuiltinWith(sda, bit, f.inverted, cable);
            if (!builtin.empty() && builtin != cable.name)
                line += ": is the cable the " + builtin + " type?";
            else if (!sda && !cable.sclIn.Wired())
                line += ": add scl-in=" + BitName(seen) + " to read SCL back";
            else
                line += ": try " + std::string(sda ? "sda-in=" : "scl-in=") + BitName(seen);
            out.push_back(line);
        }
    }
}

std::string Micro(TimeNs t) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(t.count()) / 1000.0);
    return text;
}

}  // namespace

std::string CableTestReport::Text() const {
    std::string text;
    for (const std::string& line : lines) text += line + '\n';
    return text;
}

CableTestReport TestCable(Port& port, I2CBus& bus, const ClockFn& clock) {
    const Cable& cable = bus.GetCable();
    CableTestReport report;
    auto& out = report.lines;
    out.push_back("cable: " + cable.name + " (" + cable.Definition() + ")");
    std::string wiring = Out("SDA", cable.sdaOut) + ", " + Out("SCL", cable.sclOut) +
                         ", SDA in (" + PinText(cable.sdaIn) + ")";
    if (cable.sclIn.Wired()) wiring += ", SCL in (" + PinText(cable.sclIn) + ")";
    out.push_back(wiring);

    // The lines alone, straight on the port: no waits for SCL, no bus check in the way.
    for (const PowerBit& p : cable.power) {
        if (p.one)
            port.SetPortBit(p.port, p.bit);
        else
            port.ClrPortBit(p.port, p.bit);
    }
    std::array<unsigned, kSteps.size()> status{};
    for (std::size_t i = 0; i < kSteps.size(); ++i) {
        // SCL changes first when it falls, SDA first otherwise: SDA never moves with SCL high.
        if (!kSteps[i].scl) DriveLine(port, cable.sclOut, false);
        DriveLine(port, cable.sdaOut, kSteps[i].sda);
        if (kSteps[i].scl) DriveLine(port, cable.sclOut, true);
        std::string seen;
        for (int bit = kFirstStatusBit; bit < 8; ++bit) {
            const bool one = (port.GetPortBit(kStatusPort, bit) & 0xFFFF) != 0;
            if (one) status[i] |= 1u << bit;
            seen += " S" + std::to_string(bit) + "=" + (one ? "1" : "0");
        }
        out.push_back("step " + std::to_string(i + 1) + ": SDA " +
                      (kSteps[i].sda ? "high" : "low ") + ", SCL " +
                      (kSteps[i].scl ? "high" : "low ") + " ->" + seen);
    }
    bool works = ReportInput(out, "SDA", cable.sdaIn, cable.sdaOut, cable.sclOut, cable, status,
                             true);
    if (cable.sclIn.Wired()) {
        works = ReportInput(out, "SCL", cable.sclIn, cable.sclOut, cable.sdaOut, cable, status,
                            false) &&
                works;
    } else {
        out.push_back("SCL in: not wired on this cable (no clock stretching)");
    }
    ReportOthers(out, cable, status);

    // The bus as the operations meet it.
    try {
        bus.SetSDA(kTrue);
        bus.SetSCL(kTrue);
        const BusCheck check = CheckBus(bus);
        out.push_back(check.cleared ? "bus check: SDA was low, freed by " +
                                          std::to_string(check.pulses) + " SCL pulses"
                                    : "bus check: ok, both lines high at rest");
        const std::vector<std::uint8_t> answers = BusScan(bus);
        std::string found;
        for (std::uint8_t a : answers) found += " " + HexForm(a);
        out.push_back(answers.empty() ? "scan: no device answered: no memory on the bus, or it "
                                        "is not powered"
                                      : "scan: answered at" + found + ": a memory answers");
    } catch (const BusError& e) {
        out.push_back("bus check: " + e.English());
        works = false;
    }

    // What one port call costs: the median of many status reads.
    std::vector<TimeNs> times;
    for (int i = 0; i < kTimedReads; ++i) {
        const TimeNs before = clock();
        port.GetPortBit(cable.sdaIn.port, cable.sdaIn.bit);
        times.push_back(clock() - before);
    }
    std::nth_element(times.begin(), times.begin() + kTimedReads / 2, times.end());
    const TimeNs callTime = times[kTimedReads / 2];
    out.push_back("port call time: median " + Micro(callTime) + " us over " +
                  std::to_string(kTimedReads) + " status reads");
    std::string speeds;
    for (BusSpeed speed : {BusSpeed::Standard, BusSpeed::Fast, BusSpeed::FastPlus}) {
        speeds += std::string(speeds.empty() ? "" : ", ") + SpeedName(speed) + " " +
                  std::to_string(ClockOnPortKHz(speed, callTime)) + " kHz";
    }
    out.push_back("bus clock on this port (--speed), at most: " + speeds +
                  " (a bit takes at least 3 port calls)");
    out.push_back(works ? "result: the cable works as chosen"
                        : "result: the cable does not work as chosen");
    report.works = works;
    return report;
}

}  // namespace lpt
