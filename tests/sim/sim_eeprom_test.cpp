#include "sim/sim_eeprom.h"

#include <gtest/gtest.h>

#include <chrono>

#include "bus_master.h"
#include "sim/sim_port.h"
#include "support/sim_bus.h"

namespace {

using namespace std::chrono_literals;
using lpt::SteppingClock;
using lpt::sim::SimEeprom;
using lpt::sim::SimPort;
using lpt::sim::SimResponder;
using simtest::Bytes;

// A memory on a simulated port, on a virtual clock that only moves when the test says so.
class SimEepromTest : public ::testing::Test, protected lpt::testing::SimBus {
protected:
    // Every cell different from its neighbours and from the same offset in other blocks.
    SimEepromTest()
        : SimBus(true, [](int i) { return std::uint8_t(i * 7 + (i >> 8) * 3); }, lpt::TimeNs{0}),
          master(port) {
        original = eeprom.Memory();
    }
    std::uint8_t At(int address) const { return original[address]; }
    void ExpectUnwritten() {
        EXPECT_EQ(eeprom.Memory(), original);
        EXPECT_EQ(eeprom.CommittedWrites(), 0);
        EXPECT_FALSE(eeprom.Busy());
    }

    simtest::Master master;
    std::vector<std::uint8_t> original;
};

TEST_F(SimEepromTest, AnswersExactlyTheSixteenDeviceAddressBytes) {
    for (int a = 0; a < 256; ++a) {
        EXPECT_EQ(master.Probe(std::uint8_t(a)), (a & 0xF0) == 0xA0) << "address " << a;
    }
    ExpectUnwritten();
    SimEeprom fresh(clock.Fn());
    EXPECT_EQ(fresh.Memory()[0x7FF], 0xFF) << "a new memory reads erased";
}

TEST_F(SimEepromTest, RandomSequentialAndCurrentAddressReads) {
    EXPECT_EQ(master.ReadAt(0x3F0, 1), Bytes{At(0x3F0)});
    EXPECT_EQ(master.ReadAt(0x705, 1), Bytes{At(0x705)});
    EXPECT_EQ(master.ReadAt(0x0FE, 4), (Bytes{At(0x0FE), At(0x0FF), At(0x100), At(0x101)}));
    EXPECT_EQ(master.ReadAt(0x7FE, 4), (Bytes{At(0x7FE), At(0x7FF), At(0x000), At(0x001)}));
    EXPECT_EQ(eeprom.AddressPointer(), 0x002) << "the not-acknowledged last byte ends the read";
    EXPECT_EQ(master.ReadCurrent(2), (Bytes{At(0x002), At(0x003)}));
    master.Start();  // the block bits of a read address do not move the pointer
    ASSERT_TRUE(master.WriteByte(0xAF));
    EXPECT_EQ(master.ReadByte(false), At(0x004));
    master.Stop();
    const Bytes all = master.ReadAt(0, eeprom.Size());
    EXPECT_TRUE(std::equal(all.begin(), all.end(), original.begin(), original.end()));
}

TEST_F(SimEepromTest, PageWriteWrapsInsideItsPage) {
    Bytes data;
    for (int i = 0; i < 20; ++i) data.push_back(std::uint8_t(0x40 + i));
    ASSERT_TRUE(master.Write(0x20E, data));
    const auto& mem = eeprom.Memory();
    // Bytes 0, 1 land at offsets 14, 15; bytes 2..15 wrap to 0..13; 16..19 overwrite 14, 15, 0, 1.
    EXPECT_EQ(mem[0x20E], 0x40 + 16);
    EXPECT_EQ(mem[0x20F], 0x40 + 17);
    EXPECT_EQ(mem[0x200], 0x40 + 18);
    EXPECT_EQ(mem[0x201], 0x40 + 19);
    for (int k = 2; k < 14; ++k) EXPECT_EQ(mem[0x200 + k], 0x40 + k + 2) << "offset " << k;
    EXPECT_EQ(mem[0x1FF], At(0x1FF));
    EXPECT_EQ(mem[0x210], At(0x210));
    EXPECT_EQ(eeprom.AddressPointer(), 0x202) << "after the last byte, inside the page";
    EXPECT_EQ(eeprom.CommittedWrites(), 1);
    clock.Advance(5ms);
    ASSERT_TRUE(master.Write(0x5A3, {0x11, 0x22}));
    clock.Advance(5ms);
    EXPECT_EQ(master.ReadAt(0x5A2, 4), (Bytes{At(0x5A2), 0x11, 0x22, At(0x5A5)}));
}

TEST_F(SimEepromTest, RefusesEverythingDuringTheWriteCycle) {
    ASSERT_TRUE(master.Write(0x040, {0xC3}));
    EXPECT_TRUE(eeprom.Busy());
    EXPECT_FALSE(master.Probe(0xA0));
    EXPECT_FALSE(master.Probe(0xA1));
    EXPECT_FALSE(master.Write(0x041, {0x99}));
    clock.Advance(4999us);
    EXPECT_FALSE(master.Probe(0xA0));
    EXPECT_EQ(eeprom.RefusedAddresses(), 4);
    clock.Advance(1us);
    EXPECT_TRUE(master.Probe(0xA0));
    EXPECT_EQ(master.ReadAt(0x040, 2), (Bytes{0xC3, At(0x041)})) << "the refused write left no trace";

    eeprom.SetWriteCycle(20ms);
    ASSERT_TRUE(master.Write(0x000, {0x01}));
    clock.Advance(19ms);
    EXPECT_FALSE(master.Probe(0xA0));
    clock.Advance(1ms);
    EXPECT_TRUE(master.Probe(0xA0));
}

TEST_F(SimEepromTest, WriteCycleEndsWhilePollingOnASteppingClock) {
    SteppingClock stepping(1us);  // read once per port call and once per busy check
    SimPort busPort({}, stepping.Fn());
    SimEeprom mem(stepping.Fn());
    busPort.Attach(mem);
    simtest::Master m(busPort);
    ASSERT_TRUE(m.Write(0x010, {0xAB}));
    int polls = 0;
    while (!m.Probe(0xA0) && polls < 1000) ++polls;
    EXPECT_GT(polls, 10);
    EXPECT_LT(polls, 1000);
    EXPECT_EQ(mem.Memory()[0x010], 0xAB);
}

TEST_F(SimEepromTest, StopsAndStartsThatCommitNothing) {
    master.ReadAt(0x321, 1);
    EXPECT_TRUE(master.Probe(0xA4));  // stop right after the device address
    EXPECT_EQ(eeprom.AddressPointer(), 0x322);
    master.Start();                   // stop right after the word address: only the pointer moves
    ASSERT_TRUE(master.WriteByte(0xA6));
    ASSERT_TRUE(master.WriteByte(0x10));
    master.Stop();
    EXPECT_EQ(eeprom.AddressPointer(), 0x310);
    master.Start();                   // stop three bits into the second data byte
    ASSERT_TRUE(master.WriteByte(0xA0));
    ASSERT_TRUE(master.WriteByte(0x20));
    ASSERT_TRUE(master.WriteByte(0x11));
    master.WriteBit(true), master.WriteBit(false), master.WriteBit(true);
    master.Stop();
    master.Start();                   // stop seven bits into the word address
    ASSERT_TRUE(master.WriteByte(0xA0));
    for (int i = 0; i < 7; ++i) master.WriteBit(i % 2 == 0);
    master.Stop();
    EXPECT_EQ(eeprom.AddressPointer(), 0x020);
    master.Start();                   // repeated start after a data byte
    ASSERT_TRUE(master.WriteByte(0xA2));
    ASSERT_TRUE(master.WriteByte(0x30));
    ASSERT_TRUE(master.WriteByte(0x99));
    master.Start();
    ASSERT_TRUE(master.WriteByte(0xA1));
    EXPECT_EQ(master.ReadByte(false), At(0x130)) << "the word address stays in effect";
    master.Stop();
    ExpectUnwritten();
}

TEST_F(SimEepromTest, StopRightAfterAReadAddressIsHeldOffByAZeroBit) {
    eeprom.Memory()[0x000] = 0x3F;  // MSB 0: the memory pulls SDA low after the acknowledge
    master.ReadAt(0x7FF, 1);
    master.Start();
    ASSERT_TRUE(master.WriteByte(0xA1));
    master.Stop();
    EXPECT_FALSE(port.Sda()) << "the master cannot raise SDA for its stop";
    EXPECT_EQ(master.ReadByte(false), 0x3F);  // clocking the byte out frees the line
    master.Stop();
    EXPECT_EQ(master.ReadCurrent(1), Bytes{At(0x001)});
}

TEST_F(SimEepromTest, AbsentMemoryAnswersNothingAndReadsAsOnes) {
    eeprom.SetPresent(false);
    for (int a = 0xA0; a <= 0xAF; ++a) EXPECT_FALSE(master.Probe(std::uint8_t(a)));
    master.Start();
    EXPECT_FALSE(master.WriteByte(0xA1));
    EXPECT_EQ(master.ReadByte(false), 0xFF);
    master.Stop();
    EXPECT_FALSE(master.Write(0x000, {0x00}));
    ExpectUnwritten();
    EXPECT_EQ(eeprom.RefusedAddresses(), 0) << "absence is not a busy refusal";
    eeprom.SetPresent(true);
    EXPECT_EQ(master.ReadAt(0x010, 1), Bytes{At(0x010)});
}

TEST_F(SimEepromTest, StuckSdaHoldsTheWireLow) {
    eeprom.SetHoldSdaLow(true);
    EXPECT_EQ(port.GetPortBit(889, 3), 0);
    master.Write(0x000, {0x5A});  // every ninth bit reads low, yet no address gets through
    master.Start();
    master.WriteByte(0xA1);
    EXPECT_EQ(master.ReadByte(false), 0x00);
    master.Stop();
    ExpectUnwritten();
    eeprom.SetHoldSdaLow(false);
    EXPECT_TRUE(port.Sda());
    EXPECT_EQ(master.ReadAt(0x000, 1), Bytes{At(0x000)});
}

TEST(SimResponder, AnswersOnlyItsOwnAddressBytesNextToTheMemory) {
    SteppingClock clock;
    SimPort port;
    SimEeprom eeprom(clock.Fn());
    SimResponder other{0x00, 0x0E, 0x91};
    port.Attach(eeprom);
    port.Attach(other);
    simtest::Master master(port);
    const auto before = eeprom.Memory();
    EXPECT_TRUE(master.Probe(0x00));
    EXPECT_TRUE(master.Probe(0x0E));
    EXPECT_FALSE(master.Probe(0x0F)) << "the whole byte must match, R/W bit included";
    EXPECT_FALSE(master.Probe(0x02));
    EXPECT_TRUE(master.Probe(0xA0));
    EXPECT_EQ(other.Probes(), 2);

    master.Start();
    ASSERT_TRUE(master.WriteByte(0x0E));
    EXPECT_TRUE(master.WriteByte(0x12));
    EXPECT_TRUE(master.WriteByte(0x34));
    master.Start();
    ASSERT_TRUE(master.WriteByte(0x91));
    EXPECT_EQ(master.ReadByte(true), 0xFF);
    EXPECT_EQ(master.ReadByte(false), 0xFF);
    master.Stop();
    EXPECT_EQ(eeprom.Memory(), before);
    EXPECT_EQ(eeprom.AddressPointer(), 0) << "the memory ignored traffic for another device";
    EXPECT_TRUE(port.Sda());
}

}  // namespace
