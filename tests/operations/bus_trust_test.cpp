// What must never pass as a success: a stuck data line, a transaction cut short by a port
// failure, a memory that acknowledges and stores nothing, a write cycle lost to a cancel.
#include <gtest/gtest.h>

#include <functional>

#include "operations/bus_check.h"
#include "operations/operations.h"
#include "support/bus_rig.h"

namespace lpt {
namespace {

using testing::BusRig;

// The five bus operations, each run once on the rig; the writes tell `ready` when the bus
// check has passed.
using Run = std::function<void(BusRig&, const BusReady& ready)>;
const std::vector<std::pair<const char*, Run>> kOperations = {
    {"block read", [](BusRig& r, const BusReady&) { BlockRead(r.bus, r.grid); }},
    {"byte read", [](BusRig& r, const BusReady&) { ByteRead(r.bus, r.grid); }},
    {"fill", [](BusRig& r, const BusReady& ready) { BlockFill(r.bus, r.pause, nullptr, ready); }},
    {"pattern",
     [](BusRig& r, const BusReady& ready) { PatternWrite(r.bus, r.pause, nullptr, ready); }},
    {"scan", [](BusRig& r, const BusReady&) { BusScan(r.bus); }},
};

TEST(BusCheckTest, WithSdaHeldLowNoOperationSendsATransactionAndEachSaysWhy) {
    for (const auto& [name, run] : kOperations) {
        BusRig rig;
        rig.eeprom.SetHoldSdaLow(true);
        const auto before = rig.eeprom.Memory();
        bool ready = false;
        try {
            run(rig, [&ready] { ready = true; });
            ADD_FAILURE() << name << " passed on a stuck bus";
        } catch (const BusError& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Bus);
            EXPECT_EQ(e.what(), e.English());  // the English line; the window reads Russian()
            EXPECT_NE(e.Russian().find("SDA"), std::string::npos);
            EXPECT_NE(e.Russian().find("15"), std::string::npos) << "names the pin";
            EXPECT_NE(e.English().find("pin 15"), std::string::npos);
            // It says what was done, which the calls below check: no stop claimed.
            EXPECT_NE(e.English().find("nine SCL pulses with SDA released"), std::string::npos);
            EXPECT_NE(e.English().find("no start, no stop"), std::string::npos);
            EXPECT_EQ(e.English().find("and a stop"), std::string::npos);
            EXPECT_NE(e.Russian().find("при отпущенной SDA"), std::string::npos);
            EXPECT_NE(e.Russian().find("ни условия «старт», ни условия «стоп»"),
                      std::string::npos);
        }
        // Nine pulses and never SDA driven low (no start, no byte): nothing reached the memory.
        for (const sim::PortCall& c : rig.port.Calls())
            ASSERT_FALSE(c.op == sim::PortCall::Op::Clr && c.port == 888) << name;
        EXPECT_EQ(rig.port.Reads(), 1 + 9 + 1) << name << ": sense, nine pulses, sense";
        EXPECT_EQ(rig.eeprom.Memory(), before) << name;
        EXPECT_FALSE(ready) << name << ": the window is told nothing, so disables nothing";
        EXPECT_TRUE(rig.grid.CellText(1, 1).empty()) << name;
    }
}

TEST(BusCheckTest, AMemoryLeftInTheMiddleOfAByteIsClockedFreeAndTheReadIsRight) {
    BusRig rig;
    rig.eeprom.Memory()[0] = 0x00;  // the memory drives 0s: SDA low between clocks
    // A previous process died in the middle of a read: address 0, three bits in.
    rig.bus.I2CStart();
    rig.bus.WriteByte(0xA0);
    rig.bus.WriteByte(0x00);
    rig.bus.I2CStart();
    rig.bus.WriteByte(0xA1);
    for (int i = 0; i < 3; ++i) rig.bus.ReadBit();
    ASSERT_FALSE(rig.port.Sda());
    I2CBus fresh(rig.port);  // the new process: its driver knows nothing of the lines
    fresh.SetSDA(kTrue);
    fresh.SetSCL(kTrue);
    rig.port.ClearCalls();
    const OperationResult r = BlockRead(fresh, rig.grid);
    EXPECT_EQ(r.unanswered, 0);
    for (int a = 0; a < 2048; ++a)
        ASSERT_EQ(rig.grid.CellText(a / 16 + 1, a % 16 + 1), HexForm(rig.eeprom.Memory()[a])) << a;
}

TEST(BusCheckTest, AWriteCutShortByOneFailedCallDoesNotPoisonTheNextOne) {
    BusRig rig;
    const auto before = rig.eeprom.Memory();
    // The sample of the ninth clock of transaction 5's device address fails: the memory is left
    // holding SDA low for its acknowledge. Calls: check 1, then 92 per byte-write transaction;
    // inside it the start (4), the address bits (24), SDA release and SCL rise (2).
    rig.port.FailOnce(1 + 5 * 92 + 4 + 24 + 2, "glitch");
    EXPECT_THROW(PatternWrite(rig.bus, rig.pause), PortError);
    ASSERT_FALSE(rig.port.Sda()) << "the memory holds SDA in its acknowledge slot";
    EXPECT_TRUE(rig.bus.Interrupted());

    const OperationResult fill = BlockFill(rig.bus, rig.pause);
    EXPECT_EQ(fill.unanswered, 0);
    EXPECT_TRUE(fill.readBack.mismatches.empty());
    for (int a = 0; a < 256; ++a) ASSERT_EQ(rig.eeprom.Memory()[a], 0xFF) << a;
    for (int a = 256; a < 2048; ++a) ASSERT_EQ(rig.eeprom.Memory()[a], before[a]) << a;
    EXPECT_FALSE(rig.bus.Interrupted());
}

TEST(ReadBackTest, AWriteProtectedMemoryThatAcknowledgesIsCaughtByBothWrites) {
    BusRig rig;
    rig.eeprom.SetWriteProtected(true);
    const auto before = rig.eeprom.Memory();
    auto differing = [&](auto written) {
        size_t n = 0;
        for (int a = 0; a < 256; ++a) n += before[a] != written(a);
        return n;
    };
    const OperationResult fill = BlockFill(rig.bus, rig.pause);
    EXPECT_EQ(fill.unanswered, 0) << "every byte was acknowledged";
    const size_t bad = differing([](int) { return 0xFF; });
    ASSERT_GT(bad, 200u);
    ASSERT_EQ(fill.readBack.mismatches.size(), bad);
    ASSERT_NE(before[3], 0xFF);
    EXPECT_EQ(fill.readBack.mismatches[3].address, 3);
    EXPECT_EQ(fill.readBack.mismatches[3].expected, 0xFF);
    EXPECT_EQ(fill.readBack.mismatches[3].found, before[3]);
    EXPECT_EQ(fill.readBack.compared, 256);

    const OperationResult pattern = PatternWrite(rig.bus, rig.pause);
    EXPECT_EQ(pattern.readBack.mismatches.size(), differing([](int a) { return a; }));
    EXPECT_EQ(rig.grid.CellText(1, 1), "") << "the read-back leaves the grid alone";
    EXPECT_EQ(rig.eeprom.Memory(), before);
}

TEST(SettleTest, ACancelledPauseStillHoldsTheNextTransactionUntilItsWriteCycleIsOver) {
    SteppingClock clock(std::chrono::microseconds(100));
    TimedPause* self = nullptr;
    TimedPause pause(clock.Fn(), [&] { self->Cancel(); });
    self = &pause;
    const TimeNs start = clock.Peek();
    EXPECT_THROW(pause.Pause(0.005f), OperationCancelled);
    EXPECT_LT(clock.Peek() - start, std::chrono::milliseconds(1)) << "the pause ended early";
    pause.Settle();
    EXPECT_GE(clock.Peek() - start, std::chrono::milliseconds(5)) << "Settle kept its deadline";
}

}  // namespace
}  // namespace lpt
