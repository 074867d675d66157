// Every cable against the simulated memory wired the same way: the bytes on the wire, the bits
// touched, clock stretching, SCL stuck low, and the cable test's report on good and faulty
// wiring.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <utility>

#include "bus/i2c_bus.h"
#include "operations/bus_check.h"
#include "operations/cable_test.h"
#include "sim/scl_stretcher.h"
#include "sim/trace.h"
#include "support/bus_rig.h"

namespace lpt {
namespace {

using namespace std::chrono_literals;
using sim::PortCall;

// The simulated memory wired as `wiring` says, and a bus driven through `told`.
struct CableRig : testing::SimBus {
    CableRig(const Cable& wiring, const Cable& told, TimeNs step = 1us)
        : SimBus(true, [](int a) { return static_cast<std::uint8_t>(a * 7); }, step),
          bus(port, clock.Fn(), told) {
        port.Wire(wiring);
    }
    explicit CableRig(const Cable& cable, TimeNs step = 1us) : CableRig(cable, cable, step) {}
    I2CBus bus;
};

// A page write of four bytes at 0x10, the write cycle, then a random read of them.
std::pair<std::string, std::string> WriteAndRead(CableRig& rig, std::string* read) {
    I2CBus& b = rig.bus;
    b.SetSDA(kTrue);
    b.SetSCL(kTrue);
    b.I2CStart();
    for (std::uint8_t byte : {0xA0, 0x10, 0x11, 0x22, 0x33, 0x44}) b.WriteByte(byte);
    b.I2CStop();
    const std::string written = rig.Decode().Text();
    rig.clock.Advance(20ms);  // the write cycle
    rig.port.ClearCalls();
    b.I2CStart();
    b.WriteByte(0xA0);
    b.WriteByte(0x10);
    b.I2CStart();
    b.WriteByte(0xA1);
    for (int i = 0; i < 4; ++i) {
        b.Ack = i < 3 ? 1 : 0;
        *read += testing::Hex2(b.ReadByte());
    }
    b.I2CStop();
    return {written, rig.Decode().Text()};
}

TEST(CableWiring, EveryBuiltinWritesAndReadsTheSameBytesTouchingOnlyItsOwnBits) {
    for (const Cable& cable : BuiltinCables()) {
        SCOPED_TRACE(cable.name);
        CableRig rig(cable);
        std::string read;
        const auto [written, reading] = WriteAndRead(rig, &read);
        EXPECT_EQ(written, "S A0+ 10+ 11+ 22+ 33+ 44+ P");
        EXPECT_EQ(reading, "S A0+ 10+ Sr A1+ 11+ 22+ 33+ 44. P");
        EXPECT_EQ(read, "11223344");
        EXPECT_EQ(rig.eeprom.Memory()[0x13], 0x44);
        // Power bits once, first; then only the cable's lines.
        std::set<std::pair<int, int>> outputs{{cable.sdaOut.port, cable.sdaOut.bit},
                                              {cable.sclOut.port, cable.sclOut.bit}};
        std::set<std::pair<int, int>> inputs{{cable.sdaIn.port, cable.sdaIn.bit}};
        if (cable.sclIn.Wired()) inputs.insert({cable.sclIn.port, cable.sclIn.bit});
        for (const PortCall& call : rig.port.Calls()) {
            const auto bit = std::pair{call.port, call.bit};
            EXPECT_EQ((call.op == PortCall::Op::Get ? inputs : outputs).count(bit), 1u)
                << call.port << "." << call.bit;
        }
        EXPECT_EQ(rig.Decode().faults.size(), 0u);
    }
}

TEST(CableWiring, PowerBitsAreWrittenBeforeTheFirstLineChange) {
    for (const char* name : {"adm1032", "barco", "jp1"}) {
        const Cable cable = ChooseCable(name, "");
        CableRig rig(cable);
        rig.bus.SetSDA(kTrue);
        const auto& calls = rig.port.Calls();
        ASSERT_EQ(calls.size(), cable.power.size() + 1) << name;
        for (std::size_t i = 0; i < cable.power.size(); ++i) {
            EXPECT_EQ(calls[i].port, cable.power[i].port);
            EXPECT_EQ(calls[i].bit, cable.power[i].bit);
            EXPECT_EQ(calls[i].op, cable.power[i].one ? PortCall::Op::Set : PortCall::Op::Clr);
        }
        rig.bus.SetSDA(kFalse);
        EXPECT_EQ(calls.size(), cable.power.size() + 2) << "power bits only once";
    }
}

TEST(CableWiring, AnInvertedInputTheCableKnowsOfReadsRight) {
    const Cable cable = ParseCableDefinition("inv", "sda=D0,scl=C2,sda-in=~S3");
    CableRig rig(cable);
    std::string read;
    EXPECT_EQ(WriteAndRead(rig, &read).first, "S A0+ 10+ 11+ 22+ 33+ 44+ P");
    EXPECT_EQ(read, "11223344");
}

struct Stretched : CableRig {
    explicit Stretched(TimeNs hold) : CableRig(ChooseCable("easyi2c", "")), stretcher(clock.Fn(), hold) {
        port.Attach(stretcher);
    }
    ~Stretched() { port.Detach(stretcher); }
    sim::SclStretcher stretcher;
};

TEST(CableWiring, AStretchedClockIsWaitedForAndTheMinimaCountFromSclSeenHigh) {
    // A timed port: the minima must hold from the moment SCL really rose.
    struct Timed : Stretched {
        Timed() : Stretched(200us) {}
    } rig;
    sim::SimPort timed(LineTiming::StandardMode(), rig.clock.Fn());
    timed.Wire(rig.bus.GetCable());
    timed.Attach(rig.eeprom);
    timed.Attach(rig.stretcher);
    I2CBus bus(timed, rig.clock.Fn(), rig.bus.GetCable());
    bus.SetSDA(kTrue);
    bus.SetSCL(kTrue);
    bus.I2CStart();
    for (std::uint8_t byte : {0xA0, 0x20, 0x5A}) bus.WriteByte(byte);
    bus.I2CStop();
    timed.Detach(rig.stretcher);
    timed.Detach(rig.eeprom);
    EXPECT_EQ(sim::DecodeTrace(timed.Calls()).Text(), "S A0+ 20+ 5A+ P");
    EXPECT_EQ(rig.stretcher.Stretches(), 3);
    const sim::TimingMinima minima = sim::CheckTiming(timed.Calls());
    EXPECT_TRUE(minima.Violations(LineTiming::StandardMode()).empty()) << minima.Report();
    // The clock after each byte came 200 us late: the bus waited for it.
    ASSERT_TRUE(minima.sclLow.has_value());
    TimeNs longestLow{0};
    TimeNs fall{0};
    bool scl = true;
    for (const PortCall& call : timed.Calls()) {
        if (scl && !call.scl) fall = call.time;
        if (!scl && call.scl) longestLow = std::max(longestLow, call.time - fall);
        scl = call.scl;
    }
    EXPECT_GE(longestLow, 200us);
    EXPECT_LT(longestLow, 400us);
}

TEST(CableWiring, AClockHeldLongerThan1msStopsTheOperation) {
    Stretched rig(2ms);
    rig.bus.SetSDA(kTrue);
    rig.bus.SetSCL(kTrue);
    rig.bus.I2CStart();
    try {
        rig.bus.WriteByte(0xA0);
        rig.bus.WriteByte(0x00);
        FAIL() << "no BusError";
    } catch (const BusError& e) {
        EXPECT_NE(std::string(e.what()).find("SCL held low for more than 1 ms by a device: "),
                  std::string::npos)
            << e.what();
        EXPECT_NE(std::string(e.what()).find("pins 2 (SCL out, ~D0) and 13 (SCL in, S4)"),
                  std::string::npos)
            << e.what();
    }
    // Stopped at the first stretched bit: one byte went out, nothing after the wait.
    EXPECT_EQ(rig.Decode().faults.size(), 0u);
    EXPECT_TRUE(rig.bus.Interrupted());
}

TEST(CableWiring, SclStuckLowAtTheBusCheckSendsNothing) {
    Stretched rig(0us);
    rig.bus.SetSDA(kTrue);
    rig.bus.SetSCL(kTrue);
    rig.stretcher.HoldLow(true);
    rig.port.ClearCalls();
    try {
        CheckBus(rig.bus);
        FAIL() << "no BusError";
    } catch (const BusError& e) {
        EXPECT_NE(std::string(e.what()).find("SCL is held low with the bus at rest: pins 2 (SCL "
                                             "out, ~D0) and 13 (SCL in, S4) read 0"),
                  std::string::npos)
            << e.what();
        EXPECT_EQ(e.Kind(), ErrorKind::Bus);
    }
    for (const PortCall& call : rig.port.Calls()) EXPECT_EQ(call.op, PortCall::Op::Get);
    // The direct cable reads no SCL: its bus check stays one status read.
    testing::SimBus plain;
    I2CBus bus(plain.port);
    bus.SetSDA(kTrue);
    bus.SetSCL(kTrue);
    plain.port.ResetCounters();
    CheckBus(bus);
    EXPECT_EQ(plain.port.Reads(), 1);
}

TEST(CableWiring, TheStuckSdaMessageNamesTheCablesPins) {
    const Cable cable = ChooseCable("velleman", "");
    CableRig rig(cable);
    rig.port.LeaveInputOpen(false, false);
    struct Holder : sim::BusDevice {
        void OnLines(bool, bool) override {}
        bool SdaOut() const override { return false; }
    } holder;
    rig.port.Attach(holder);
    try {
        CheckBus(rig.bus);
        ADD_FAILURE() << "no BusError";
    } catch (const BusError& e) {
        EXPECT_NE(std::string(e.what()).find("port pin 13 still reads 0"), std::string::npos)
            << e.what();
        EXPECT_NE(std::string(e.what()).find("pins 14 (SDA out), 13 (SDA in) and 17 (SCL)"),
                  std::string::npos)
            << e.what();
    }
    rig.port.Detach(holder);
}

// The cable test's report, for the tool told `told` on a memory wired as `wiring`.
CableTestReport Report(const Cable& wiring, const Cable& told, bool sdaOpen = false,
                       bool sclOpen = false) {
    CableRig rig(wiring, told);
    rig.port.LeaveInputOpen(sdaOpen, sclOpen);
    return TestCable(rig.port, rig.bus, rig.clock.Fn());
}

bool Has(const CableTestReport& report, const std::string& line) {
    return report.Text().find(line) != std::string::npos;
}

TEST(CableTest, ReportsEachWiringFaultByName) {
    const Cable direct = DirectCable(), easy = ChooseCable("easyi2c", "");
    const auto custom = [](const char* text) { return ParseCableDefinition(text, text); };
    const struct {
        const char* what;
        CableTestReport report;
        bool works;
        std::vector<std::string> lines;
    } cases[] = {
        {"direct", Report(direct, direct), true,
         {"SDA out (D0, pin 2) -> seen on pin 15 (S3 ERROR): ok",
          "SCL in: not wired on this cable", "bus check: ok", "a memory answers",
          "port call time: median 1.00 us over 301 status reads",
          "bus clock on this port (--speed), at most: standard 100 kHz, fast 333 kHz, "
          "fast-plus 333 kHz",
          "result: the cable works as chosen"}},
        {"easyi2c", Report(easy, easy), true,
         {"SDA out (~D1, pin 3) -> seen on pin 12 (S5 PAPEROUT): ok",
          "SCL out (~D0, pin 2) -> seen on pin 13 (S4 SELECT): ok", "scan: answered at A0 A2 A4 A6 A8 AA AC AE: a memory answers"}},
        {"swapped pair", Report(custom("sda=C2,scl=D0,sda-in=S3"), direct), false,
         {"SDA in (pin 15, S3 ERROR) does not follow SDA out: it follows SCL out (C2 INIT, pin "
          "16): SDA and SCL swapped? try sda=C2,scl=D0,sda-in=S3",
          "result: the cable does not work as chosen"}},
        {"missing pull-up", Report(easy, easy, false, true), false,
         {"SCL in (pin 13, S4 SELECT) does not follow SCL out: reads high whatever SCL does: "
          "not wired, or no pull-up"}},
        {"inverted line", Report(custom("sda=D0,scl=C2,sda-in=~S3"), direct), false,
         {"SDA out (D0, pin 2) -> seen inverted on pin 15 (S3 ERROR): SDA reads inverted: try "
          "sda-in=~S3"}},
        {"another cable's input", Report(custom("sda=D0,scl=C2,sda-in=S7"), direct), false,
         {"status pin 11 (S7 BUSY) follows SDA: is the cable the philips type?",
          "SDA in (pin 15, S3 ERROR) does not follow SDA out: reads high whatever SDA does"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.report.works, c.works) << c.what << "\n" << c.report.Text();
        for (const std::string& line : c.lines)
            EXPECT_TRUE(Has(c.report, line)) << c.what << ": " << line << "\n" << c.report.Text();
    }
}

}  // namespace
}  // namespace lpt
