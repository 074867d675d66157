#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bus/clock.h"
#include "sim/bus_master.h"
#include "sim/sim_eeprom.h"
#include "sim/sim_port.h"

namespace {

using lpt::SteppingClock;
using lpt::sim::LoadDemoContents;
using lpt::sim::SimEeprom;

class LoadDemoContentsTest : public ::testing::Test {
protected:
    LoadDemoContentsTest() : eeprom(clock.Fn()) { LoadDemoContents(eeprom); }
    std::vector<std::uint8_t> Block(int n) const {
        const auto& m = eeprom.Memory();
        return {m.begin() + n * 256, m.begin() + (n + 1) * 256};
    }
    SteppingClock clock;
    SimEeprom eeprom;
};

TEST_F(LoadDemoContentsTest, RampsInTheFirstTwoBlocks) {
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(Block(0)[i], i);
        ASSERT_EQ(Block(1)[i], 255 - i);
    }
}

TEST_F(LoadDemoContentsTest, AsciiTextBlockIsPrintable) {
    const auto b = Block(2);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 10), "lpt-eeprom");
    EXPECT_TRUE(std::all_of(b.begin(), b.end(), [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; }));
}

TEST_F(LoadDemoContentsTest, RussianTextIsWindows1251) {
    const auto b = Block(3);
    const std::vector<std::uint8_t> privet{0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2};  // "Привет"
    EXPECT_TRUE(std::equal(privet.begin(), privet.end(), b.begin()));
    EXPECT_NE(std::find(b.begin(), b.end(), 0xA8), b.end()) << "capital Yo";
    EXPECT_NE(std::find(b.begin(), b.end(), 0xB8), b.end()) << "small yo";
    // Only one-byte letters, ASCII and the two Yo: no UTF-8 lead bytes left, nothing unconverted.
    for (std::uint8_t c : b) {
        EXPECT_TRUE((c >= 0x20 && c < 0x7F && c != '?') || c >= 0xC0 || c == 0xA8 || c == 0xB8)
            << "byte " << int(c);
    }
    const int letters = static_cast<int>(std::count_if(b.begin(), b.end(), [](std::uint8_t c) { return c >= 0xC0; }));
    EXPECT_GT(letters, 120);
}

TEST_F(LoadDemoContentsTest, PatternBlocks) {
    const std::vector<std::uint8_t> walk{0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80,
                                         0xFE, 0xFD, 0xFB, 0xF7, 0xEF, 0xDF, 0xBF, 0x7F};
    const auto b4 = Block(4);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(b4[i], walk[i % 16]) << i;

    const auto b5 = Block(5);
    EXPECT_TRUE(std::all_of(b5.begin(), b5.end(), [](std::uint8_t c) { return c == 0x55 || c == 0xAA || c == 0x00; }));
    EXPECT_GE(std::count(b5.begin(), b5.end(), 0x00), 2);
    for (int i = 1; i < 256; ++i) {
        if (b5[i] && b5[i - 1]) {
            ASSERT_NE(b5[i], b5[i - 1]) << "checkerboard broken at " << i;
        }
    }
    const auto b6 = Block(6);
    EXPECT_TRUE(std::all_of(b6.begin(), b6.end(), [](std::uint8_t c) { return c == 0xFF; }));

    const auto b7 = Block(7);
    const std::string text(b7.begin(), b7.end());
    EXPECT_NE(text.find("DEMO END"), std::string::npos);
    EXPECT_GE(std::count_if(b7.begin(), b7.end(), [](std::uint8_t c) { return c < 0x20; }), 8);
}

TEST_F(LoadDemoContentsTest, SameBytesEveryTimeWhateverWasThere) {
    SteppingClock c;
    SimEeprom other(c.Fn());
    other.Memory().fill(0x00);
    LoadDemoContents(other);
    EXPECT_EQ(other.Memory(), eeprom.Memory());
}

TEST_F(LoadDemoContentsTest, ReadableOverTheBus) {
    lpt::sim::SimPort port;
    port.Attach(eeprom);
    simtest::Master master(port);
    EXPECT_EQ(master.ReadAt(0x300, 6), (std::vector<std::uint8_t>{0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2}));
    EXPECT_EQ(master.ReadAt(0x0FE, 4), (std::vector<std::uint8_t>{0xFE, 0xFF, 0xFF, 0xFE}));
}

}  // namespace
