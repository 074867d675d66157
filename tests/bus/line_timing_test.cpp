// The bus driver's waits under the real port's timing: a trace recorded on a port that declares
// the standard-mode minima must keep every one of them, and stay close to the 100 kHz pace; at
// fast and fast plus, those modes' minima, as close.
#include <gtest/gtest.h>

#include "bus/i2c_bus.h"
#include "sim/sim_eeprom.h"
#include "sim/sim_port.h"
#include "sim/trace.h"
#include "support/floor_port.h"

namespace lpt {
namespace {

void ReadOneBlock(I2CBus& bus) {
    bus.I2CStart();
    bus.WriteByte(0xA0);
    bus.WriteByte(0x00);
    bus.I2CStart();
    bus.WriteByte(0xA1);
    for (int i = 0; i <= 255; ++i) {
        bus.Ack = i == 255 ? 0 : 1;
        bus.ReadByte();
    }
    bus.I2CStop();
}

TEST(LineTimingTest, StandardModeMinimaAreKeptOnEveryLineChange) {
    sim::SimPort port(LineTiming::StandardMode());
    sim::SimEeprom eeprom;
    port.Attach(eeprom);
    I2CBus bus(port);
    bus.SetSDA(kTrue);
    bus.SetSCL(kTrue);
    ReadOneBlock(bus);
    ReadOneBlock(bus);  // a second transaction, so the bus-free time is measured too
    bus.I2CStart();
    bus.WriteByte(0xA0);
    bus.WriteByte(0x10);
    bus.WriteByte(0x5A);
    bus.I2CStop();
    port.Detach(eeprom);

    const sim::TimingMinima minima = sim::CheckTiming(port.Calls());
    for (auto* m : {&minima.clockPeriod, &minima.sclLow, &minima.sclHigh, &minima.startHold,
                    &minima.startSetup, &minima.stopSetup, &minima.busFree, &minima.dataSetup})
        EXPECT_TRUE(m->has_value()) << minima.Report();
    EXPECT_TRUE(minima.Violations(LineTiming::StandardMode()).empty()) << minima.Report();
    EXPECT_TRUE(sim::DecodeTrace(port.Calls()).faults.empty());
}

TEST(LineTimingTest, WithoutDeclaredTimingTheDriverNeverReadsTheClock) {
    sim::SimPort port;
    int readings = 0;
    I2CBus bus(port, [&] {
        ++readings;
        return SteadyNow();
    });
    ReadOneBlock(bus);
    EXPECT_EQ(readings, 0);
}

TEST(LineTimingTest, WaitsAreCountedFromTheLineChangeTheyReferTo) {
    // A virtual clock that moves only when the driver spins: the waits must add up to exactly
    // the minima a start, one bit and a stop need, and not a step more than one clock tick.
    SteppingClock clock(TimeNs(10));
    sim::SimPort port(LineTiming::StandardMode(), clock.Fn());
    I2CBus bus(port, clock.Fn());
    bus.SetSDA(kTrue);
    bus.SetSCL(kTrue);
    bus.I2CStart();
    bus.WriteBit(kTrue);
    bus.I2CStop();
    const sim::TimingMinima m = sim::CheckTiming(port.Calls());
    ASSERT_TRUE(m.sclHigh && m.sclLow && m.startHold && m.stopSetup);
    using std::chrono::nanoseconds;
    EXPECT_GE(*m.startHold, nanoseconds(4000));
    EXPECT_LE(*m.startHold, nanoseconds(4000 + 40));
    EXPECT_GE(*m.sclLow, nanoseconds(4700));
    EXPECT_LE(*m.sclLow, nanoseconds(4700 + 40));
    EXPECT_GE(*m.stopSetup, nanoseconds(4000));
    EXPECT_LE(*m.stopSetup, nanoseconds(4000 + 40));
}

// Every procedure once or more: two transactions (a write with its acknowledges, a read with a
// repeated start and bytes with and without acknowledge), so the bus free time is measured too.
void EveryProcedure(I2CBus& bus) {
    bus.SetSDA(kTrue);
    bus.SetSCL(kTrue);
    bus.I2CStart();
    bus.WriteByte(0xA0);
    bus.WriteByte(0x10);
    bus.WriteByte(0x5A);
    bus.I2CStop();
    bus.I2CStart();
    bus.WriteByte(0xA0);
    bus.WriteByte(0x00);
    bus.I2CStart();
    bus.WriteByte(0xA1);
    for (int i = 0; i < 4; ++i) {
        bus.Ack = i == 3 ? 0 : 1;
        bus.ReadByte();
    }
    bus.I2CStop();
}

TEST(LineTimingTest, EachModeKeepsItsMinimaAndNoMoreAtEveryPortCallCost) {
    using std::chrono::nanoseconds;
    const struct {
        BusSpeed speed;
        LineTiming minima;
    } modes[] = {{BusSpeed::Standard, LineTiming::StandardMode()},
                 {BusSpeed::Fast, LineTiming::FastMode()},
                 {BusSpeed::FastPlus, LineTiming::FastModePlus()}};
    for (const auto& mode : modes) {
        for (const nanoseconds cost : {nanoseconds(0), nanoseconds(500), nanoseconds(3000)}) {
            SCOPED_TRACE(std::string(SpeedName(mode.speed)) + " at " +
                         std::to_string(cost.count()) + " ns a call");
            TimeNs now{1'000'000'000};
            // The memory's port declares the real port's timing; the mode comes from the bus.
            sim::SimPort port(LineTiming::StandardMode(), [&now] { return now; });
            sim::SimEeprom eeprom;
            eeprom.SetWriteCycle(TimeNs{0});  // the read follows the write at once
            port.Attach(eeprom);
            testing::FloorPort floor(port, cost, now);
            I2CBus bus(floor, floor.Clock(), DirectCable(), mode.speed);
            EveryProcedure(bus);
            port.Detach(eeprom);

            EXPECT_EQ(sim::DecodeTrace(port.Calls()).Text(),
                      "S A0+ 10+ 5A+ P S A0+ 00+ Sr A1+ FF+ FF+ FF+ FF. P");
            const sim::TimingMinima m = sim::CheckTiming(port.Calls());
            for (auto* seen : {&m.clockPeriod, &m.sclLow, &m.sclHigh, &m.startHold,
                               &m.startSetup, &m.stopSetup, &m.busFree, &m.dataSetup})
                ASSERT_TRUE(seen->has_value()) << m.Report();
            EXPECT_TRUE(m.Violations(mode.minima).empty()) << m.Report();
            // Not needlessly longer. A port may change the line anywhere inside its call, so
            // each minimum counts from the return of the call that made the change, and the
            // next call starts once it has passed: on this clock, where the line changes at the
            // end of a call, each figure is its minimum plus one call. The clock period is the
            // mode's, or the high and low times with the call between them where the port is
            // slow, plus the call that raises SCL. Slack: the clock's 10 ns readings.
            const nanoseconds slack(30);
            const nanoseconds period =
                std::max(mode.minima.clockPeriod, mode.minima.sclHigh + mode.minima.sclLow + cost) +
                cost;
            EXPECT_LE(*m.clockPeriod, period + slack) << m.Report();
            EXPECT_LE(*m.sclHigh, mode.minima.sclHigh + cost + slack) << m.Report();
            EXPECT_LE(*m.startHold, mode.minima.startHold + cost + slack) << m.Report();
            EXPECT_LE(*m.startSetup, mode.minima.startSetup + cost + slack) << m.Report();
            EXPECT_LE(*m.stopSetup, mode.minima.stopSetup + cost + slack) << m.Report();
            EXPECT_LE(*m.busFree, mode.minima.busFree + cost + slack) << m.Report();
        }
    }
}

TEST(LineTimingTest, TheFloorChargesAClockReadingWhatItIsToldAndTheWaitsStillKeepTheMinima) {
    using std::chrono::nanoseconds;
    const nanoseconds cost(500), reading(26);
    TimeNs now{1'000'000'000};
    sim::SimPort port(LineTiming::StandardMode(), [&now] { return now; });
    testing::FloorPort floor(port, cost, now);
    floor.ChargeReadings(reading);
    const ClockFn clock = floor.Clock();
    const TimeNs first = clock();
    EXPECT_EQ(clock() - first, reading);

    I2CBus bus(floor, clock, DirectCable(), BusSpeed::FastPlus);
    EveryProcedure(bus);
    const sim::TimingMinima m = sim::CheckTiming(port.Calls());
    ASSERT_TRUE(m.sclHigh && m.startHold) << m.Report();
    EXPECT_TRUE(m.Violations(LineTiming::FastModePlus()).empty()) << m.Report();
    // From the rise: the reading that notes it, the readings of the wait (the last one at most a
    // reading past its deadline), then the call.
    EXPECT_LT(*m.sclHigh, LineTiming::FastModePlus().sclHigh + cost + 2 * reading) << m.Report();
    EXPECT_LT(*m.startHold, LineTiming::FastModePlus().startHold + cost + 2 * reading)
        << m.Report();
}

TEST(LineTimingTest, ASpeedChangeTakesEffectAndAnUntimedPortStaysUntimed) {
    sim::SimPort timed(LineTiming::StandardMode());
    I2CBus bus(timed);
    EXPECT_EQ(bus.Speed(), BusSpeed::Standard);
    EXPECT_EQ(bus.Timing().sclLow, LineTiming::StandardMode().sclLow);
    bus.SetSpeed(BusSpeed::FastPlus);
    EXPECT_EQ(bus.Timing().clockPeriod, LineTiming::FastModePlus().clockPeriod);
    bus.SetSpeed(BusSpeed::Fast);
    EXPECT_EQ(bus.Timing().busFree, LineTiming::FastMode().busFree);
    bus.SetSpeed(BusSpeed::Standard);
    EXPECT_EQ(bus.Timing().clockPeriod, LineTiming::StandardMode().clockPeriod);

    sim::SimPort untimed;  // the simulated port: as fast as it is called, at any mode
    I2CBus free(untimed, SteadyNow, DirectCable(), BusSpeed::FastPlus);
    EXPECT_TRUE(free.Timing().IsZero());
}

TEST(LineTimingTest, ThePortBoundsTheClockWhenItsCallsAreSlow) {
    using std::chrono::nanoseconds;
    // 1.5 us a call: three calls a bit, 4.5 us, longer than fast mode's 2.5 us period.
    EXPECT_EQ(ClockOnPortKHz(BusSpeed::Standard, nanoseconds(1500)), 100);
    EXPECT_EQ(ClockOnPortKHz(BusSpeed::Fast, nanoseconds(1500)), 222);
    EXPECT_EQ(ClockOnPortKHz(BusSpeed::FastPlus, nanoseconds(1500)), 222);
    EXPECT_EQ(ClockOnPortKHz(BusSpeed::Fast, nanoseconds(0)), 400);
    EXPECT_EQ(ClockOnPortKHz(BusSpeed::FastPlus, nanoseconds(200)), 1000);
}

}  // namespace
}  // namespace lpt
