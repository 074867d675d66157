#include "sim/trace.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <tuple>
#include <vector>

#include "bus_master.h"
#include "support/sim_bus.h"

namespace {

using namespace std::chrono_literals;
using lpt::TimeNs;
using lpt::sim::CheckTiming;
using lpt::sim::DecodeTrace;
using lpt::sim::PortCall;
using lpt::sim::SimPort;
using Strings = std::vector<std::string>;

// A memory holding 12 34 at 0x000 on a port that records everything.
class DecodeTraceTest : public ::testing::Test, protected lpt::testing::SimBus {
protected:
    DecodeTraceTest() : SimBus(true, {}, TimeNs{0}), master(port) {
        eeprom.Memory()[0] = 0x12;
        eeprom.Memory()[1] = 0x34;
    }
    simtest::Master master;
};

TEST_F(DecodeTraceTest, RandomReadEndsWithTheNoNinthClockMark) {
    master.ReadAt(0x000, 2);
    const auto d = DecodeTrace(port.Calls());
    EXPECT_EQ(d.Text(), "S A0+ 00+ Sr A1+ 12+ 34. P");
    EXPECT_TRUE(d.faults.empty());
}

TEST_F(DecodeTraceTest, RealNinthClocksShowTheirLevel) {
    master.Start();
    master.WriteByte(0xA0);
    master.WriteByte(0x00);
    master.Stop();         // acknowledged ninth clock, then a stop
    master.Probe(0xB4);    // nobody there
    master.Start();
    master.WriteByte(0xA1);
    master.ReadByte(false);
    master.WriteBit(true);  // a not-acknowledge clock of its own before the stop
    master.Stop();
    const auto d = DecodeTrace(port.Calls());
    EXPECT_EQ(d.transactions, (Strings{"S A0+ 00+ P", "S B4- P", "S A1+ 12- P"}));
    EXPECT_EQ(d.Text(), "S A0+ 00+ P S B4- P S A1+ 12- P");
    EXPECT_TRUE(d.faults.empty());
}

TEST_F(DecodeTraceTest, CleanSessionHasNoFaultsAndCutOffTransactionIsKept) {
    master.Stop();  // freeing the bus first: a lone stop is no transaction and no fault
    ASSERT_TRUE(master.Write(0x010, {0xDE, 0xAD}));
    clock.Advance(5ms);
    master.ReadAt(0x010, 2);
    master.ReadCurrent(1);
    master.Start();
    master.WriteByte(0xA0);
    master.WriteBit(true);  // the record ends here
    const auto d = DecodeTrace(port.Calls());
    EXPECT_TRUE(d.faults.empty()) << d.faults.front();
    EXPECT_EQ(d.Text(), "S A0+ 10+ DE+ AD+ P S A0+ 10+ Sr A1+ DE+ AD. P S A1+ FF. P S A0+");
    EXPECT_TRUE(DecodeTrace({}).transactions.empty());
}

TEST(DecodeTraceFaults, ConditionsInsideABytePointAtTheirCall) {
    SimPort port;
    simtest::Master m(port);
    m.Start();
    m.WriteBit(true), m.WriteBit(false), m.WriteBit(true);
    m.SdaHigh(), m.SclHigh();
    const std::size_t start = port.Calls().size();
    m.SdaLow();  // SDA toggled while SCL is high, three bits into the byte
    m.SdaHigh();
    m.Start();
    for (int i = 0; i < 5; ++i) m.WriteBit(false);
    m.SclHigh();
    const std::size_t stop = port.Calls().size();
    m.SdaHigh();
    const auto d = DecodeTrace(port.Calls());
    EXPECT_EQ(d.faults, (Strings{"call " + std::to_string(start) + ": start inside a byte (3 bits clocked)",
                                 "call " + std::to_string(stop) + ": stop inside a byte (5 bits clocked)"}));
    EXPECT_EQ(d.Text(), "S Sr P S P");
}

TEST(DecodeTraceFaults, StartInTheNinthClockAndClocksOutsideATransaction) {
    SimPort port;
    simtest::Master m(port);
    m.Start();
    m.WriteByte(0x55);  // no device: the ninth bit reads high
    m.ReadByte(false);  // no ninth clock, and then a start instead of the stop
    const std::size_t start = port.Calls().size() + 2;
    m.Start();
    m.Stop();
    m.SclLow(), m.SclHigh();
    const std::size_t idle = port.Calls().size();
    m.SclLow(), m.SclHigh(), m.SclLow();  // one report for a run of idle clocks
    const auto d = DecodeTrace(port.Calls());
    EXPECT_EQ(d.faults,
              (Strings{"call " + std::to_string(start) + ": SDA fell while SCL was high during a byte's ninth clock",
                       "call " + std::to_string(idle) + ": bits clocked outside a transaction"}));
    EXPECT_EQ(d.Text(), "S 55- FF. Sr P");
}

// Hand-made wire levels with known times (ns); the minima are worked out in the comments.
std::vector<PortCall> HandTrace() {
    const std::vector<std::tuple<bool, bool, long>> steps{
        {1, 1, 0},     {1, 0, 1000},  {1, 0, 2000},  // start, then a call that changes nothing
        {0, 0, 5000},                                 // start hold 4000
        {0, 1, 5500},  {1, 1, 6000},                  // low 1000, data setup 500
        {0, 1, 10000},                                // high 4000
        {0, 0, 12000}, {1, 0, 15000},                 // period 9000, low 5000, setup 3000
        {0, 0, 19500},                                // high 4500
        {0, 1, 20000}, {1, 1, 23000},                 // period 8000, low 3500, setup 3000
        {1, 0, 26000},                                // repeated start: start setup 3000
        {0, 0, 30000}, {1, 0, 34000},                 // hold 4000, high 7000; period 11000, low 4000
        {1, 1, 36000},                                // stop setup 2000
        {1, 0, 38500},                                // bus free 2500
        {0, 0, 42000}, {1, 0, 47000}, {1, 1, 51000},  // hold 3500, period 13000, stop setup 4000
    };
    std::vector<PortCall> calls;
    for (const auto& [scl, sda, ns] : steps) calls.push_back({PortCall::Op::Get, 889, 3, sda, scl, sda, TimeNs{ns}});
    return calls;
}

TEST(CheckTiming, FindsMinimaListsViolationsAndReports) {
    const auto m = CheckTiming(HandTrace());
    EXPECT_EQ(m.clockPeriod, TimeNs{8000});
    EXPECT_EQ(m.sclLow, TimeNs{1000});
    EXPECT_EQ(m.sclHigh, TimeNs{4000});
    EXPECT_EQ(m.startHold, TimeNs{3500});
    EXPECT_EQ(m.startSetup, TimeNs{3000});
    EXPECT_EQ(m.stopSetup, TimeNs{2000});
    EXPECT_EQ(m.busFree, TimeNs{2500});
    EXPECT_EQ(m.dataSetup, TimeNs{500});
    EXPECT_EQ(m.Violations(lpt::LineTiming::StandardMode()),
              (Strings{"clockPeriod 8.00 us < 10.00 us", "sclLow 1.00 us < 4.70 us", "startHold 3.50 us < 4.00 us",
                       "startSetup 3.00 us < 4.70 us", "stopSetup 2.00 us < 4.00 us", "busFree 2.50 us < 4.70 us"}));
    EXPECT_TRUE(m.Violations(lpt::LineTiming{}).empty());
    lpt::LineTiming one;
    one.dataSetup = 501ns;
    EXPECT_EQ(m.Violations(one), Strings{"dataSetup 0.50 us < 0.50 us"});
    one.dataSetup = 500ns;
    EXPECT_TRUE(m.Violations(one).empty()) << "equal to the limit is fine";
    EXPECT_EQ(m.Report(), "clockPeriod 8.00 us\nsclLow 1.00 us\nsclHigh 4.00 us\nstartHold 3.50 us\n"
                          "startSetup 3.00 us\nstopSetup 2.00 us\nbusFree 2.50 us\ndataSetup 0.50 us\n");
    EXPECT_EQ(CheckTiming({}).Report(), "clockPeriod (none)\nsclLow (none)\nsclHigh (none)\nstartHold (none)\n"
                                        "startSetup (none)\nstopSetup (none)\nbusFree (none)\ndataSetup (none)\n");
}

TEST(CheckTiming, SteppingClockGivesCallCountsAsTimes) {
    lpt::SteppingClock clock(1us);  // every interval is the number of port calls between its ends
    SimPort port({}, clock.Fn());
    simtest::Master m(port);
    m.Start();
    m.WriteByte(0xA0);
    m.Stop();
    ASSERT_EQ(DecodeTrace(port.Calls()).Text(), "S A0- P");
    const auto t = CheckTiming(port.Calls());
    EXPECT_EQ(t.clockPeriod, TimeNs{3us});  // write bit: SDA, SCL up, SCL down
    EXPECT_EQ(t.sclLow, TimeNs{2us});
    EXPECT_EQ(t.sclHigh, TimeNs{1us});
    EXPECT_EQ(t.startHold, TimeNs{1us});
    EXPECT_EQ(t.stopSetup, TimeNs{1us});
    EXPECT_EQ(t.dataSetup, TimeNs{1us});
    EXPECT_FALSE(t.startSetup || t.busFree);
}

}  // namespace
