#include "bus/i2c_bus.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace lpt {
namespace {

// A port that keeps the two output bits, answers reads from a script, and logs every call as
// "SDA1", "SDA0", "SCL1", "SCL0" or "GET".
class ScriptedPort : public Port {
public:
    void SetPortBit(int port, int bit) override { Write(port, bit, true); }
    void ClrPortBit(int port, int bit) override { Write(port, bit, false); }
    std::int32_t GetPortBit(int port, int bit) override {
        EXPECT_EQ(port, 889);
        EXPECT_EQ(bit, 3);
        EXPECT_TRUE(sda) << "SDA must be released while it is sampled";
        EXPECT_TRUE(scl) << "SDA is sampled while SCL is high";
        log.push_back("GET");
        ++reads;
        if (samples.empty()) return defaultSample;
        const std::int32_t s = samples.front();
        samples.pop_front();
        return s;
    }

    void Write(int port, int bit, bool level) {
        ++writes;
        if (port == 888 && bit == 0) {
            sda = level;
            log.push_back(level ? "SDA1" : "SDA0");
        } else if (port == 890 && bit == 2) {
            if (!scl && level) clockPulses.push_back(sda);
            scl = level;
            log.push_back(level ? "SCL1" : "SCL0");
        } else {
            ADD_FAILURE() << "write to a pin that is not wired: port " << port << " bit " << bit;
        }
    }
    void Reset() {
        log.clear();
        clockPulses.clear();
        writes = reads = 0;
    }

    bool sda = true;
    bool scl = true;
    std::vector<std::string> log;
    std::vector<bool> clockPulses;  // SDA level at each SCL rising edge
    std::deque<std::int32_t> samples;
    std::int32_t defaultSample = 1;
    int writes = 0;
    int reads = 0;
};

class I2CBusTest : public ::testing::Test {
protected:
    // Puts the bus inside a transaction (SCL low), as the byte procedures expect.
    void EnterTransaction() {
        bus.I2CStart();
        port.Reset();
    }
    ScriptedPort port;
    I2CBus bus{port};
};

TEST_F(I2CBusTest, WriteByteA5PresentsBitsMsbFirstThenReleasesSdaForTheNinthClock) {
    EnterTransaction();
    port.samples = {0};
    const std::uint8_t value = 0xA5;
    bus.WriteByte(value);
    const std::vector<bool> expected = {true, false, true, false, false, true, false, true, true};
    EXPECT_EQ(port.clockPulses, expected);
    EXPECT_EQ(value, 0xA5) << "the argument is not modified";
    // Each bit: SDA set while SCL is low, then one clock pulse.
    const std::vector<std::string> firstBit = {"SDA1", "SCL1", "SCL0"};
    EXPECT_EQ(std::vector<std::string>(port.log.begin(), port.log.begin() + 3), firstBit);
    const std::vector<std::string> ninth = {"SDA1", "SCL1", "GET", "SCL0"};
    EXPECT_EQ(std::vector<std::string>(port.log.end() - 4, port.log.end()), ninth);
    EXPECT_TRUE(port.sda);
    EXPECT_FALSE(port.scl);
}

TEST_F(I2CBusTest, AckIsOneOnALowNinthBitAndZeroOnAHighOneNeverMinusOne) {
    EnterTransaction();
    port.samples = {0};
    bus.WriteByte(0x00);
    EXPECT_EQ(bus.Ack, 1);
    port.samples = {1};
    bus.WriteByte(0x00);
    EXPECT_EQ(bus.Ack, 0);
    // Any nonzero sample counts as high, including values with only high bits beyond 16 set.
    port.samples = {0x8};
    bus.WriteByte(0x00);
    EXPECT_EQ(bus.Ack, 0);
    port.samples = {0x10000};  // nonzero, but its low 16 bits are zero: reads as low
    bus.WriteByte(0x00);
    EXPECT_EQ(bus.Ack, 1);
}

TEST_F(I2CBusTest, ReadByteGives255OnAHighLineAnd0OnALowOne) {
    EnterTransaction();
    bus.Ack = 0;
    port.defaultSample = 1;
    EXPECT_EQ(bus.ReadByte(), 255);
    port.defaultSample = 0;
    EXPECT_EQ(bus.ReadByte(), 0);
    port.samples = {1, 0, 0, 1, 0, 0, 1, 1};
    EXPECT_EQ(bus.ReadByte(), 0x93);
}

TEST_F(I2CBusTest, ReadByteAcknowledgesOnlyWhenAckIsExactlyOne) {
    EnterTransaction();
    bus.Ack = 1;
    bus.ReadByte();
    ASSERT_EQ(port.clockPulses.size(), 9u);
    EXPECT_FALSE(port.clockPulses[8]) << "the ninth clock carries SDA low";
    EXPECT_EQ(port.log.back(), "SDA1") << "SDA is released after the acknowledge";
    EXPECT_EQ(port.writes, 28);
    EXPECT_EQ(port.reads, 8);
    EXPECT_TRUE(port.sda);
    EXPECT_FALSE(port.scl);

    for (std::int16_t ack : {0, -1, 2}) {
        port.Reset();
        bus.Ack = static_cast<std::int16_t>(ack);
        bus.ReadByte();
        EXPECT_EQ(port.clockPulses.size(), 8u) << "Ack " << ack;
        EXPECT_EQ(port.log.back(), "SCL0") << "no line change after the eighth clock, Ack " << ack;
        EXPECT_EQ(port.writes, 24);
        EXPECT_EQ(port.reads, 8);
        EXPECT_EQ(bus.Ack, ack) << "ReadByte does not change Ack";
    }
}

TEST_F(I2CBusTest, LineProceduresTreatEveryNonzeroValueAsTrue) {
    for (Bool16 level : {Bool16{1}, Bool16{-1}, Bool16{2}, Bool16{0x100}}) {
        bus.SetSDA(kFalse);
        bus.SetSDA(level);
        EXPECT_TRUE(port.sda) << level;
        bus.SetSCL(kFalse);
        bus.SetSCL(level);
        EXPECT_TRUE(port.scl) << level;
        port.scl = false;
        port.Reset();
        bus.WriteBit(level);
        EXPECT_EQ(port.clockPulses, std::vector<bool>{true}) << level;
    }
    bus.SetSDA(kFalse);
    EXPECT_FALSE(port.sda);
    bus.SetSCL(kFalse);
    EXPECT_FALSE(port.scl);
}

TEST_F(I2CBusTest, ReadBitGivesMinusOneOrZeroNeverOne) {
    EnterTransaction();
    port.samples = {1, 8, 0xFFFF, 0, 0x10000};
    EXPECT_EQ(bus.ReadBit(), -1);
    EXPECT_EQ(bus.ReadBit(), -1);
    EXPECT_EQ(bus.ReadBit(), -1);
    EXPECT_EQ(bus.ReadBit(), 0);
    EXPECT_EQ(bus.ReadBit(), 0);
}

TEST_F(I2CBusTest, StartFromRestAndRepeatedStartUseTheSameFourSteps) {
    const std::vector<std::string> start = {"SDA1", "SCL1", "SDA0", "SCL0"};
    bus.I2CStart();
    EXPECT_EQ(port.log, start);
    EXPECT_FALSE(port.sda);
    EXPECT_FALSE(port.scl);

    // After a byte (SCL low, SDA released) the same steps make a repeated start: SDA falls
    // while SCL is high.
    port.samples = {0};
    bus.WriteByte(0xA0);
    port.Reset();
    bus.I2CStart();
    EXPECT_EQ(port.log, start);
    EXPECT_EQ(port.clockPulses, std::vector<bool>{true}) << "SCL rises with SDA high";

    port.Reset();
    bus.I2CStop();
    const std::vector<std::string> stop = {"SCL0", "SDA0", "SCL1", "SDA1"};
    EXPECT_EQ(port.log, stop);
    EXPECT_TRUE(port.sda);
    EXPECT_TRUE(port.scl);
}

TEST_F(I2CBusTest, EachProcedureCostsItsFixedNumberOfPortCalls) {
    struct Row {
        const char* name;
        std::function<void()> run;
        int writes, reads, pulses;
    };
    const std::vector<Row> table = {
        {"SetSDA", [&] { bus.SetSDA(kTrue); }, 1, 0, 0},
        {"SetSCL", [&] { bus.SetSCL(kFalse); }, 1, 0, 0},
        {"WriteBit", [&] { bus.WriteBit(kTrue); }, 3, 0, 1},
        {"ReadBit", [&] { bus.ReadBit(); }, 3, 1, 1},
        {"I2CStart", [&] { bus.I2CStart(); }, 4, 0, 0},
        {"I2CStop", [&] { bus.I2CStop(); }, 4, 0, 0},
        {"WriteByte", [&] { bus.WriteByte(0x5A); }, 27, 1, 9},
        {"ReadByte no ack", [&] { bus.Ack = 0; bus.ReadByte(); }, 24, 8, 8},
        {"ReadByte ack", [&] { bus.Ack = 1; bus.ReadByte(); }, 28, 8, 9},
    };
    for (const Row& row : table) {
        EnterTransaction();
        row.run();
        EXPECT_EQ(port.writes, row.writes) << row.name;
        EXPECT_EQ(port.reads, row.reads) << row.name;
        if (std::string(row.name) != "I2CStart" && std::string(row.name) != "I2CStop" &&
            std::string(row.name) != "SetSCL" && std::string(row.name) != "SetSDA") {
            EXPECT_EQ(static_cast<int>(port.clockPulses.size()), row.pulses) << row.name;
        }
    }
}

TEST_F(I2CBusTest, AckStartsAtZeroAndKeepsItsValueBetweenTransfers) {
    EXPECT_EQ(bus.Ack, 0);
    EnterTransaction();
    port.samples = {0};
    bus.WriteByte(0xA1);
    ASSERT_EQ(bus.Ack, 1);
    port.Reset();
    bus.ReadByte();  // the caller did not set Ack: the 1 left by WriteByte asks for an ack
    EXPECT_EQ(port.clockPulses.size(), 9u);
}

}  // namespace
}  // namespace lpt
