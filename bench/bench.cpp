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
//  4. The image operations: a whole read against the limit, a write against its write cycles,
//     and a write that finds nothing to do.
//  5. Per bus mode, a block read and a 64 KB 24c512's whole read against the 100 kHz limit and
//     the bus driver's floor, with a free port and one that costs 1.5 us a call, and the write of
//     a full 24c512 image with a 3 ms memory against its floor (the write cycles plus the bus
//     time of the same transactions). --quick leaves the 24c512 out.
//  6. Each bus mode (standard, fast, fast plus): one block read and the 24c512's whole read
//     against the 100 kHz limit and against the mode's own floor (the virtual clock of a port
//     that counts its calls, at 1.5 us a call and free), and a full 24c512 write at fast mode
//     against its floor (pages x write cycle + bus time). The floor charges each of the bus
//     driver's clock readings what one reading of the monotonic clock takes on this machine,
//     and each port call what a call of the port the real run drives takes here (the free port
//     is the simulated memory's work, the 1.5 us one overshoots its spin), measured at the start
//     and again before each mode, the least so far charged, so a slow spell of the machine never
//     raises the floor. The ratio to a floor charging exactly 0 and 1.5 us a call follows in
//     brackets.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bus/i2c_bus.h"
#include "operations/dump_grid.h"
#include "operations/image_operations.h"
#include "operations/memory_bus.h"
#include "operations/operations.h"
#include "operations/timed_pause.h"
#include "sim/sim_eeprom.h"
#include "sim/sim_port.h"
#include "sim/trace.h"
#include "sim/wire_events.h"
#include "support/costly_port.h"
#include "support/floor_port.h"

using namespace lpt;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
double Us(TimeNs d) { return std::chrono::duration<double, std::micro>(d).count(); }

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long RisingEdges(const std::vector<sim::PortCall>& calls) {
    return sim::CountWireEvents(calls, sim::WireEventKind::SclRise);
}

// Bus time of the transactions alone: the sum of their spans, from each start to its stop (a
// repeated start stays inside its transaction).
double TransactionMs(const std::vector<sim::PortCall>& calls) {
    double ms = 0;
    std::optional<TimeNs> begin;
    sim::WalkWire(calls, [&](const sim::WireEvent& e) {
        if (e.kind == sim::WireEventKind::Start && !begin) begin = e.time;
        if (e.kind == sim::WireEventKind::Stop && begin) {
            ms += Us(e.time - *begin) / 1000;
            begin.reset();
        }
    });
    return ms;
}

// One block's sequential read as the block read sends it, without the bus check.
void ReadBlock(I2CBus& bus, int block) {
    LineMemoryBus memory(bus);
    const int size = k24c16.BlockSize();
    memory.SequentialRead(block * size, size, [](int, std::uint8_t) {}, Opening::Once(),
                          OnRefusal::SendOn);
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

// Whole-memory image work under standard-mode timing, with the simulated memory on the wires (the
// image operations need its acknowledges), its write cycle cut to 3 ms.
//  a. ReadMemory: bus time against the 100 kHz limit, as above.
//  b. WriteImage of an image that differs in every page. The least any master could take is the
//     write cycles (128 x 3 ms) plus the transactions the memory acknowledged (the read first,
//     the page writes, the read-back), each from its start to its stop, except that the start
//     and address byte of the poll that ends a write cycle may run inside the cycle: the memory
//     only has to be ready by that byte's acknowledge clock, so such a transaction counts from
//     there. Polls the memory refused ran inside a write cycle and add nothing of their own; what
//     they cost is the wait from the end of a cycle to the next poll, which shows as overhead.
//  c. WriteImage of the image the memory already holds: no page write, and a read's time.
void ImageFigures() {
    sim::SimPort port(LineTiming::StandardMode());
    sim::SimEeprom eeprom;
    eeprom.SetWriteCycle(std::chrono::milliseconds(3));
    sim::LoadDemoContents(eeprom);
    port.Attach(eeprom);
    I2CBus bus(port);
    bus.SetSDA(kTrue);
    bus.SetSCL(kTrue);

    LineMemoryBus memory(bus);
    port.ClearCalls();
    auto t0 = Clock::now();
    ReadMemory(memory);
    const double readWall = Ms(Clock::now() - t0);
    const TimeNs readBus = port.Calls().back().time - port.Calls().front().time;
    const long edges = RisingEdges(port.Calls());
    std::printf("%-34s bus time %.3f ms; 100 kHz limit %ld rising edges x 10 us = %.3f ms; "
                "ratio %.3f\n",
                "ReadMemory, 2048 bytes", Us(readBus) / 1000, edges, edges / 100.0,
                Us(readBus) / (10.0 * static_cast<double>(edges)));

    MemoryBytes inverted = eeprom.Memory();
    for (auto& b : inverted) b = static_cast<std::uint8_t>(~b);
    const MemoryImage image = MemoryImage::Full(inverted);
    port.ClearCalls();
    t0 = Clock::now();
    WriteReport report = WriteImage(memory, image);
    const double writeWall = Ms(Clock::now() - t0);
    // Each transaction's span and the time from its start to its first acknowledge clock,
    // paired with its decoded text to tell the refused polls ("S A0- P").
    struct Span {
        double ms;
        double toAckMs;
    };
    std::vector<Span> spans;
    std::optional<TimeNs> begin;
    TimeNs ack{};
    int rises = 0;
    sim::WalkWire(port.Calls(), [&](const sim::WireEvent& e) {
        if (e.kind == sim::WireEventKind::Start && !begin) {
            begin = e.time;
            rises = 0;
        }
        if (e.kind == sim::WireEventKind::SclRise && begin && ++rises == 9) ack = e.time;
        if (e.kind == sim::WireEventKind::Stop && begin) {
            spans.push_back({Us(e.time - *begin) / 1000, Us(ack - *begin) / 1000});
            begin.reset();
        }
    });
    const auto transactions = sim::DecodeTrace(port.Calls()).transactions;
    double answeredMs = 0, refusedMs = 0;
    int refused = 0;
    bool afterRefused = false;
    for (size_t i = 0; i < spans.size() && i < transactions.size(); ++i) {
        const bool poll = transactions[i].size() > 5 && transactions[i].compare(4, 3, "- P") == 0;
        if (poll) {
            refusedMs += spans[i].ms;
            ++refused;
        } else {
            answeredMs += spans[i].ms - (afterRefused ? spans[i].toAckMs : 0);
        }
        afterRefused = poll;
    }
    const double least = kPages * 3.0 + answeredMs;
    std::printf("WriteImage, every page differs: %d written, %d verified mismatches; wall %.1f ms;\n"
                "  least %d x 3 ms + acknowledged transactions %.2f ms = %.1f ms; overhead %.1f ms "
                "(%.1f%%)\n  refused polls %d (%.1f per page, %.1f us each)%s\n",
                report.pagesWritten, report.verify.differing, writeWall, kPages, answeredMs, least,
                writeWall - least, 100 * (writeWall - least) / least, refused,
                refused / static_cast<double>(kPages), refused ? 1000 * refusedMs / refused : 0.0,
                spans.size() == transactions.size() ? "" : "  (span and decoder counts differ)");

    port.ClearCalls();
    t0 = Clock::now();
    report = WriteImage(memory, image);
    const double rewriteWall = Ms(Clock::now() - t0);
    std::printf("WriteImage, image already there: %d written, %d skipped; wall %.1f ms against "
                "one read's %.1f ms (ratio %.3f)\n",
                report.pagesWritten, report.pagesSkipped, rewriteWall, readWall,
                rewriteWall / readWall);
    port.Detach(eeprom);
}

// Counts SCL rising edges on the wires without recording the calls (a 64 KB read makes millions).
class EdgeCounter : public sim::BusDevice {
public:
    void OnLines(bool scl, bool) override {
        if (scl && !scl_) ++rises;
        scl_ = scl;
    }
    bool SdaOut() const override { return true; }
    long rises = 0;

private:
    bool scl_ = true;
};

using testing::FloorPort;

// The 24c512 on a simulated port under standard-mode timing, its calls not recorded.
struct ChipBench {
    explicit ChipBench(const char* chip, TimeNs writeCycle = std::chrono::milliseconds(5))
        : eeprom(SteadyNow, ChooseChip(chip)) {
        port.SetRecording(false);
        eeprom.SetWriteCycle(writeCycle);
        sim::LoadDemoContents(eeprom);
        port.Attach(eeprom);
        port.Attach(edges);
    }
    ~ChipBench() {
        port.Detach(edges);
        port.Detach(eeprom);
    }
    sim::SimPort port{LineTiming::StandardMode()};
    sim::SimEeprom eeprom;
    EdgeCounter edges;
};

void WriteFigures(BusSpeed speed) {
    const MemoryGeometry g = ChooseChip("24c512").Geometry();
    double busMs = 0, writeMs = 0;
    int pages = 0;
    for (int pass = 0; pass < 2; ++pass) {
        ChipBench b("24c512", pass == 0 ? TimeNs{0} : std::chrono::milliseconds(3));
        MemoryBytes inverted = b.eeprom.Memory();
        for (auto& byte : inverted) byte = static_cast<std::uint8_t>(~byte);
        I2CBus bus(b.port, SteadyNow, DirectCable(), speed);
        LineMemoryBus memory(bus, SteadyNow, g);
        const auto t0 = Clock::now();
        const WriteReport report = WriteImage(memory, MemoryImage::Full(inverted));
        (pass == 0 ? busMs : writeMs) = Ms(Clock::now() - t0);
        pages = report.pagesWritten;
        if (report.verify.differing != 0) std::printf("  (read-back differs: %d)\n", report.verify.differing);
    }
    const double least = pages * 3.0 + busMs;
    std::printf("WriteImage, 24c512 at %s, every page differs, 3 ms memory, free port: %d pages; "
                "wall %.1f ms;\n  floor %d x 3 ms + bus time %.1f ms = %.1f ms; ratio %.3f\n",
                SpeedRate(speed), pages, writeMs, pages, busMs, least, writeMs / least);
}

double Ns(Clock::duration d) { return std::chrono::duration<double, std::nano>(d).count(); }

// What one bare reading of the monotonic clock takes here (the bus driver's readings, through
// its clock function, cost that at least): the least average of several runs of back-to-back
// readings, whole nanoseconds rounded down. A loaded machine only makes some runs slower, so the
// least run is the reading's own cost.
TimeNs ClockReadingCost() {
    constexpr int kReadings = 200'000;
    double least = 1e9;
    for (int run = 0; run < 20; ++run) {
        const auto t0 = Clock::now();
        for (int i = 0; i < kReadings; ++i) Clock::now();  // a vDSO call, never left out
        least = std::min(least, Ns(Clock::now() - t0) / kReadings);
    }
    return TimeNs{static_cast<long>(least)};
}

// What a call of the port that costs `cost` (CostlyPort on the simulated memory, as the real
// runs below drive it) takes here: it spins from its entry until `cost` has passed, so it lasts
// that plus the reading that ends the spin and the way in and out; a free one is the simulated
// memory's own work. The least average of several runs of SCL changes and SDA reads (the calls
// the floor charges), whole nanoseconds rounded down.
TimeNs PortCallCost(TimeNs cost) {
    constexpr int kPairs = 2000;
    double least = 1e12;
    ChipBench b("24c16");
    testing::CostlyPort port(b.port, cost);
    for (int run = 0; run < 10; ++run) {
        const auto t0 = Clock::now();
        for (int i = 0; i < kPairs; ++i) {
            // SCL pulses with SDA high: no start, so the memory only watches.
            if (i % 2 == 0)
                port.ClrPortBit(Wiring::kSclOut.port, Wiring::kSclOut.bit);
            else
                port.SetPortBit(Wiring::kSclOut.port, Wiring::kSclOut.bit);
            port.GetPortBit(Wiring::kSdaIn.port, Wiring::kSdaIn.bit);
        }
        least = std::min(least, Ns(Clock::now() - t0) / (2 * kPairs));
    }
    return TimeNs{static_cast<long>(least)};
}

// What the floor charges: a clock reading, and a call of each of the two ports. A shared or
// virtual machine runs faster and slower in spells of seconds (a free port's call a tenth longer
// in a slow one), so each measurement keeps the least of it and the ones before.
struct FloorCharges {
    TimeNs reading = TimeNs::max(), freeCall = TimeNs::max(), costlyCall = TimeNs::max();
    void Measure() {
        reading = std::min(reading, ClockReadingCost());
        freeCall = std::min(freeCall, PortCallCost(TimeNs{0}));
        costlyCall = std::min(costlyCall, PortCallCost(std::chrono::nanoseconds(1500)));
    }
};

// One piece of work at one bus mode: a free port and a port of 1.5 us a call, each for real (the
// wall clock, the port's waits spun) and on the floor's virtual clock (the least its calls and
// the mode's minima allow), the floor once at the call's measured cost and once at its nominal
// one. And the 100 kHz limit of the same traffic.
struct ModeRun {
    double freeMs = 0, freeFloorMs = 0, freeNominalMs = 0;
    double costlyMs = 0, costlyFloorMs = 0, costlyNominalMs = 0;
    double limitMs = 0;
};

ModeRun RunAtMode(const char* chip, BusSpeed speed, const FloorCharges& charges,
                  const std::function<void(I2CBus&, const ClockFn&)>& work) {
    const TimeNs cost = std::chrono::nanoseconds(1500);
    ModeRun r;
    for (const TimeNs c : {TimeNs{0}, cost}) {
        const bool freePort = c == TimeNs{0};
        for (const bool measured : {true, false}) {
            ChipBench b(chip);
            const TimeNs charged = freePort ? charges.freeCall : charges.costlyCall;
            FloorPort floor(b.port, measured ? charged : c);
            floor.ChargeReadings(charges.reading);
            const ClockFn clock = floor.Clock();
            I2CBus bus(floor, clock, DirectCable(), speed);
            const TimeNs t0 = floor.Now();
            work(bus, clock);
            const double ms = Us(floor.Now() - t0) / 1000;
            if (measured)
                (freePort ? r.freeFloorMs : r.costlyFloorMs) = ms;
            else
                (freePort ? r.freeNominalMs : r.costlyNominalMs) = ms;
            r.limitMs = static_cast<double>(b.edges.rises) / 100.0;
        }
        ChipBench b(chip);
        testing::CostlyPort costly(b.port, c);
        I2CBus bus(costly, SteadyNow, DirectCable(), speed);
        const auto t0 = Clock::now();
        work(bus, SteadyNow);
        (freePort ? r.freeMs : r.costlyMs) = Ms(Clock::now() - t0);
    }
    return r;
}

// `large`: also the whole 24c512 (minutes in a Debug build) and its full writes.
void ModeFigures(bool large, FloorCharges& charges) {
    for (BusSpeed speed : {BusSpeed::Standard, BusSpeed::Fast, BusSpeed::FastPlus}) {
        const struct {
            const char* what;
            const char* chip;
            std::function<void(I2CBus&, const ClockFn&)> work;
        } runs[] = {
            {"one block read (24c16, 256 bytes)", "24c16",
             [](I2CBus& bus, const ClockFn& clock) {
                 LineMemoryBus memory(bus, clock);
                 memory.SequentialRead(0, 256, [](int, std::uint8_t) {}, Opening::Once(),
                                       OnRefusal::SendOn);
             }},
            {"ReadMemory, 24c512, 65536 bytes", "24c512",
             [](I2CBus& bus, const ClockFn& clock) {
                 LineMemoryBus memory(bus, clock, ChooseChip("24c512").Geometry());
                 ReadMemory(memory);
             }},
        };
        charges.Measure();
        std::printf("-- %s (%s) -- floor: %lld ns a clock reading, a call %lld ns free, %lld ns "
                    "at 1.5 us\n",
                    SpeedName(speed), SpeedRate(speed),
                    static_cast<long long>(charges.reading.count()),
                    static_cast<long long>(charges.freeCall.count()),
                    static_cast<long long>(charges.costlyCall.count()));
        for (const auto& run : runs) {
            if (!large && run.chip != std::string("24c16")) continue;
            const ModeRun r = RunAtMode(run.chip, speed, charges, run.work);
            std::printf("%s: 100 kHz limit %.2f ms\n"
                        "  free port:     %8.2f ms, floor %8.2f ms, ratio to floor %.3f (%.3f at "
                        "0 ns a call), to the limit %.3f\n"
                        "  1.5 us a call: %8.2f ms, floor %8.2f ms, ratio to floor %.3f (%.3f at "
                        "1500 ns a call), to the limit %.3f\n",
                        run.what, r.limitMs, r.freeMs, r.freeFloorMs, r.freeMs / r.freeFloorMs,
                        r.freeMs / r.freeNominalMs, r.freeMs / r.limitMs, r.costlyMs,
                        r.costlyFloorMs, r.costlyMs / r.costlyFloorMs,
                        r.costlyMs / r.costlyNominalMs, r.costlyMs / r.limitMs);
        }
    }
    if (!large) return;
    WriteFigures(BusSpeed::Standard);
    WriteFigures(BusSpeed::Fast);
}

}  // namespace

int main(int argc, char* argv[]) {
    // --quick: without the 64 KB memory's runs, for CI.
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    // Measured first, and again before each bus mode.
    FloorCharges charges;
    charges.Measure();
    std::printf("== Port calls and host time, simulated memory, no line timing ==\n");
    HostFigures("one block read", 4 + 3 * 28 + 4 + 255 * 36 + 32 + 4, [](I2CBus& bus) { ReadBlock(bus, 0); });
    {
        DumpGrid grid;
        // The whole-memory reads start with the bus check: one status read.
        HostFigures("block read, 8 blocks, with grid", 8L * 9308 + 1,
                    [&](I2CBus& bus) { BlockRead(bus, grid); });
        HostFigures("byte read, 2048 x 128", 2048L * 128 + 1,
                    [&](I2CBus& bus) { ByteRead(bus, grid); });
    }
    HostFigures("scan, memory on the bus", 0, [&](I2CBus& bus) { BusScan(bus); });
    HostFigures("scan, empty bus", 0, [&](I2CBus& bus) { BusScan(bus); }, false);

    std::printf("\n== Bus time under standard-mode timing (do-nothing timestamping port) ==\n");
    BusTimeFigures("one block read", [](I2CBus& bus) { ReadBlock(bus, 0); }, true);
    {
        DumpGrid grid;
        BusTimeFigures("block read, 8 blocks", [&](I2CBus& bus) { BlockRead(bus, grid); },
                       true);
        BusTimeFigures("byte read, 2048 transactions", [&](I2CBus& bus) { ByteRead(bus, grid); });
    }
    BusTimeFigures("scan, 128 probes", [&](I2CBus& bus) { BusScan(bus); });

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
        const OperationResult r = which == 0 ? PatternWrite(bus, pause) : BlockFill(bus, pause);
        const double wall = Ms(Clock::now() - t0);
        const double cpu = CpuSeconds() - cpu0;
        const double busMs = TransactionMs(port.Calls());
        const int n = r.transactions;
        std::printf("%-16s %3d transactions: wall %.1f ms; %d x 5 ms + bus %.2f ms = %.1f ms; "
                    "overhead %.1f ms; CPU %.0f ms; unanswered %d\n",
                    which == 0 ? "pattern write" : "block fill", n, wall, n, busMs, n * 5.0 + busMs,
                    wall - (n * 5.0 + busMs), cpu * 1000, r.unanswered);
        port.Detach(eeprom);
    }

    std::printf("\n== Image operations: simulated memory with a 3 ms write cycle, standard-mode timing ==\n");
    ImageFigures();

    std::printf("\n== Bus modes: reads against the 100 kHz limit and each mode's own floor, and a "
                "fast-mode write ==\n");
    std::printf("The floor: the bus driver's own calls and waits on a virtual clock that moves "
                "only by what they\ncost here: a clock reading, and a port call as long as a call "
                "of the port of the real run\n(the free one does the simulated memory's work, the "
                "1.5 us one's spin on the clock overshoots),\nthe least measured at the start and "
                "before each mode. In brackets: the ratio to a floor that\ncharges exactly 0 and "
                "1500 ns a call.\n");
    ModeFigures(!quick, charges);
    if (quick) std::printf("(--quick: the 24c512's reads and writes left out)\n");
    return 0;
}
