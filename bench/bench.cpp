// lpt-eeprom-bench: prints figures for the bus, the operations and the pause. It never passes
// or fails; compare the figures with the targets yourself.
//
//  1. Port calls per run on the simulated memory (they are fixed by the bus procedures) and
//     host time per port call.
//  2. Bus time under the real port's standard-mode line timing, driven against a port that
//     does nothing but timestamp each call, against the 100 kHz limit. The limit is the least
//     time any 100 kHz master needs for the same traffic: every SCL rising edge on the wire
//     begins a clock period of at least 10 us, so limit = rising edges x 10 us.
//  3. Pause accuracy and the writes' wall time against their pauses.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bus/i2c_bus.h"
#include "operations/dump_grid.h"
#include "operations/operations.h"
#include "operations/timed_pause.h"
#include "sim/sim_eeprom.h"
#include "sim/sim_port.h"
#include "sim/trace.h"

using namespace lpt;
using Clock = std::chrono::steady_clock;

namespace {

class NullFeedback : public Feedback {
public:
    void SetCaption(const std::string&) override {}
    std::string GetText() override { return text_; }
    void SetText(const std::string& t) override { text_ = t; }
    void SetEnabled(Control, Bool16) override {}
    void Beep() override {}

private:
    std::string text_;
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
double Us(TimeNs d) { return std::chrono::duration<double, std::micro>(d).count(); }

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long RisingEdges(const std::vector<sim::PortCall>& calls) {
    long n = 0;
    bool scl = true;
    for (const auto& c : calls) {
        if (!scl && c.scl) ++n;
        scl = c.scl;
    }
    return n;
}

void ReadBlock(I2CBus& bus, int block) {
    bus.I2CStart();
    bus.WriteByte(static_cast<std::uint8_t>(0xA0 + 2 * block));
    bus.WriteByte(0x00);
    bus.I2CStart();
    bus.WriteByte(static_cast<std::uint8_t>(0xA1 + 2 * block));
    for (int i = 0; i <= 255; ++i) {
        bus.Ack = i == 255 ? 0 : 1;
        bus.ReadByte();
    }
    bus.I2CStop();
}

// Port calls and host time of `run` on the simulated memory with zero line timing.
void HostFigures(const char* what, long expectedCalls, const std::function<void(I2CBus&)>& run,
                 bool withMemory = true) {
    sim::SimPort port;
    port.SetRecording(false);
    sim::SimEeprom eeprom;
    sim::LoadDemoContents(eeprom);
    if (withMemory) port.Attach(eeprom);
    I2CBus bus(port);
    bus.SetSDA(kTrue);
    bus.SetSCL(kTrue);
    port.ResetCounters();
    const auto t0 = Clock::now();
    run(bus);
    const auto t = Clock::now() - t0;
    const long calls = port.Writes() + port.Reads();
    std::printf("%-34s writes %7ld  reads %6ld  total %7ld", what, port.Writes(), port.Reads(), calls);
    if (expectedCalls > 0) std::printf("  (expected %ld: %s)", expectedCalls, calls == expectedCalls ? "equal" : "DIFFERENT");
    std::printf("\n%-34s host %.3f ms in all, %.1f ns per port call\n", "", Ms(t),
                1e6 * Ms(t) / static_cast<double>(calls));
    if (withMemory) port.Detach(eeprom);
}

// Bus time of `run` under standard-mode timing against a port that only timestamps calls.
void BusTimeFigures(const char* what, const std::function<void(I2CBus&)>& run, bool minima = false) {
    sim::SimPort port(LineTiming::StandardMode());  // no device: does nothing but record
    I2CBus bus(port);
    bus.SetSDA(kTrue);
    bus.SetSCL(kTrue);
    port.ClearCalls();
    run(bus);
    const auto& calls = port.Calls();
    const TimeNs busTime = calls.back().time - calls.front().time;
    const long edges = RisingEdges(calls);
    const double limitUs = 10.0 * static_cast<double>(edges);
    std::printf("%-34s bus time %.3f ms; 100 kHz limit %ld rising edges x 10 us = %.3f ms; "
                "ratio %.3f\n",
                what, Us(busTime) / 1000, edges, limitUs / 1000, Us(busTime) / limitUs);
    if (minima) {
        const sim::TimingMinima m = sim::CheckTiming(calls);
        std::printf("  timing checker minima (standard-mode limits: period 10, SCL low 4.7, SCL high 4.0,\n"
                    "  start hold 4.0, repeated-start set-up 4.7, stop set-up 4.0, bus free 4.7,\n"
                    "  data set-up 0.25 us):\n");
        std::string report = m.Report();
        size_t start = 0;
        while (start < report.size()) {
            size_t end = report.find('\n', start);
            if (end == std::string::npos) end = report.size();
            std::printf("    %s\n", report.substr(start, end - start).c_str());
            start = end + 1;
        }
        const auto v = m.Violations(LineTiming::StandardMode());
        std::printf("    violations: %zu%s\n", v.size(), v.empty() ? " (none)" : "");
        for (const auto& line : v) std::printf("      %s\n", line.c_str());
    }
}

}  // namespace

int main() {
    NullFeedback feedback;
    std::printf("== Port calls and host time, simulated memory, no line timing ==\n");
    HostFigures("one block read", 4 + 3 * 28 + 4 + 255 * 36 + 32 + 4, [](I2CBus& bus) { ReadBlock(bus, 0); });
    {
        DumpGrid grid;
        HostFigures("block read, 8 blocks, with grid", 8L * 9308,
                    [&](I2CBus& bus) { BlockRead(bus, grid, feedback); });
        HostFigures("byte read, 2048 x 128", 2048L * 128,
                    [&](I2CBus& bus) { ByteRead(bus, grid, feedback); });
    }
    HostFigures("scan, memory on the bus", 0, [&](I2CBus& bus) { BusScan(bus, feedback); });
    HostFigures("scan, empty bus", 0, [&](I2CBus& bus) { BusScan(bus, feedback); }, false);

    std::printf("\n== Bus time under standard-mode timing (do-nothing timestamping port) ==\n");
    BusTimeFigures("one block read", [](I2CBus& bus) { ReadBlock(bus, 0); }, true);
    {
        DumpGrid grid;
        BusTimeFigures("block read, 8 blocks", [&](I2CBus& bus) { BlockRead(bus, grid, feedback); },
                       true);
        BusTimeFigures("byte read, 2048 transactions", [&](I2CBus& bus) { ByteRead(bus, grid, feedback); });
    }
    BusTimeFigures("scan, 128 probes", [&](I2CBus& bus) { BusScan(bus, feedback); });

    std::printf("\n== Pause accuracy: 256 pauses of 0.005 s on the monotonic clock ==\n");
    {
        TimedPause pause(SteadyNow, [] {}, SleepBriefly);
        std::vector<double> waits;
        const double cpu0 = CpuSeconds();
        const auto all0 = Clock::now();
        for (int i = 0; i < 256; ++i) {
            const auto t0 = Clock::now();
            pause.Pause(kWritePause);
            waits.push_back(Ms(Clock::now() - t0));
        }
        const double wall = Ms(Clock::now() - all0) / 1000;
        const double cpu = CpuSeconds() - cpu0;
        std::sort(waits.begin(), waits.end());
        const long under = std::count_if(waits.begin(), waits.end(), [](double w) { return w < 5.0; });
        std::printf("shortest %.3f ms, median %.3f ms, longest %.3f ms; under 5 ms: %ld\n",
                    waits.front(), waits[waits.size() / 2], waits.back(), under);
        std::printf("CPU while pausing: %.3f s of %.3f s wall (%.0f%%)\n", cpu, wall, 100 * cpu / wall);
    }

    std::printf("\n== Writes: wall time against their pauses (simulated memory, standard-mode timing) ==\n");
    for (int which = 0; which < 2; ++which) {
        sim::SimPort port(LineTiming::StandardMode());
        sim::SimEeprom eeprom;
        port.Attach(eeprom);
        I2CBus bus(port);
        bus.SetSDA(kTrue);
        bus.SetSCL(kTrue);
        TimedPause pause(SteadyNow, [] {}, SleepBriefly);
        port.ClearCalls();
        const double cpu0 = CpuSeconds();
        const auto t0 = Clock::now();
        const OperationResult r = which == 0 ? PatternWrite(bus, feedback, pause) : BlockFill(bus, feedback, pause);
        const double wall = Ms(Clock::now() - t0);
        const double cpu = CpuSeconds() - cpu0;
        // Bus time: the sum of the transactions' own spans, from each start to its stop.
        double busMs = 0;
        const auto& calls = port.Calls();
        TimeNs begin{0};
        bool scl = true, sda = true, inside = false;
        for (const auto& c : calls) {
            if (scl && c.scl && sda && !c.sda && !inside) { begin = c.time; inside = true; }
            if (scl && c.scl && !sda && c.sda && inside) { busMs += Us(c.time - begin) / 1000; inside = false; }
            scl = c.scl;
            sda = c.sda;
        }
        const int n = r.transactions;
        std::printf("%-16s %3d transactions: wall %.1f ms; %d x 5 ms + bus %.2f ms = %.1f ms; "
                    "overhead %.1f ms; CPU %.0f ms; unanswered %d\n",
                    which == 0 ? "pattern write" : "block fill", n, wall, n, busMs, n * 5.0 + busMs,
                    wall - (n * 5.0 + busMs), cpu * 1000, r.unanswered);
        port.Detach(eeprom);
    }
    return 0;
}
