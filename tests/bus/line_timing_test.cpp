// The bus driver's waits under the real port's timing: a trace recorded on a port that declares
// the standard-mode minima must keep every one of them, and stay close to the 100 kHz pace.
#include <gtest/gtest.h>

#include "bus/i2c_bus.h"
#include "sim/sim_eeprom.h"
#include "sim/sim_port.h"
#include "sim/trace.h"

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

}  // namespace
}  // namespace lpt
