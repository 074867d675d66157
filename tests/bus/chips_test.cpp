#include <gtest/gtest.h>

#include "common/chips.h"

namespace lpt {
namespace {

// The device byte (R/W 0) of `address` on `name` with pins `pins`.
int DeviceByte(const char* name, int address, int pins = -1) {
    const ChipChoice choice =
        pins < 0 ? ChooseChip(name) : ChooseChip(name, std::nullopt, pins);
    return choice.Geometry().DeviceByte(address);
}

TEST(ChipTableTest, EachAddressingSchemePutsHighBitsAndPinsWhereTheDatasheetsDo) {
    // One byte, pins only.
    EXPECT_EQ(DeviceByte("24c02", 0xFF, 5), 0xAA);
    // One byte plus block bits, the remaining bits compared with pins.
    EXPECT_EQ(DeviceByte("24c04", 0x1FF, 4), 0xAA);
    EXPECT_EQ(DeviceByte("24c08", 0x300, 4), 0xAE);
    EXPECT_EQ(DeviceByte("24c16", 0x7FF, 7), 0xAE) << "a 24c16 compares no pin";
    // Two bytes, pins only.
    EXPECT_EQ(DeviceByte("24c512", 0xFFFF, 3), 0xA6);
    // Two bytes plus a16: in bit 1 on the 24c1024, in bit 3 (B0) on the 24xx1025, whose A2
    // pin is not in the byte and must be tied high.
    EXPECT_EQ(DeviceByte("AT24CM01", 0x10000, 4), 0xAA);
    EXPECT_EQ(DeviceByte("24xx1025", 0x10000), 0xA8);
    EXPECT_EQ(DeviceByte("24lc1025", 0x0FFFF, 7), 0xA6);
    EXPECT_EQ(DeviceByte("24cm02", 0x3FFFF, 4), 0xAE);
    EXPECT_EQ(ChooseChip("24cm02").Geometry().WriteCycleLimit(), std::chrono::milliseconds(200));
}

TEST(ChipTableTest, SizesBlocksAndTextsFollowTheTable) {
    const auto g01 = ChooseChip("24c01").Geometry();
    EXPECT_EQ(g01.BlockSize(), 128);
    EXPECT_EQ(g01.Blocks(), 1);
    EXPECT_EQ(ChooseChip("24c16").Geometry().Blocks(), 8);
    EXPECT_EQ(ChooseChip("24c1024").Geometry().Blocks(), 2);
    EXPECT_EQ(ChooseChip("24cm02").Geometry().AddressDigits(), 5);
    EXPECT_EQ(k24c16.AddressDigits(), 3);
    EXPECT_EQ(ChooseChip("24c16").Geometry(), k24c16) << "the default is today's memory";
    EXPECT_EQ(DefaultChip().HighBitsText(), "a10..a8 in bits 3..1");
    EXPECT_EQ(FindChip("24xx1025")->HighBitsText(), "a16 in bit 3");
    EXPECT_EQ(FindChip("24c04")->PinsText(), "A2..A1 (bits 3..2)");
    EXPECT_EQ(FindChip("24c08")->PinsText(), "A2 (bit 3)");
    EXPECT_EQ(ChooseChip("24c02", 16, 3).Describe(), "24c02 (page 16, pins 3)");
}

TEST(ChipTableTest, ChoicesThatCannotBeMadeAreRefusedNamingWhatToGive) {
    auto refusal = [](const char* name, std::optional<int> page, std::optional<int> pins) {
        try {
            ChooseChip(name, page, pins);
        } catch (const ChipChoiceError& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Usage);
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_NE(refusal("24c99", {}, {}).find("24c01, 24c02"), std::string::npos);
    EXPECT_NE(refusal("24c02", 24, {}).find("power of two"), std::string::npos);
    EXPECT_NE(refusal("24c01", 256, {}).find("128"), std::string::npos);
    EXPECT_NE(refusal("24c02", {}, 8).find("0 to 7"), std::string::npos);
    EXPECT_NE(refusal("24xx1025", {}, 3).find("A2"), std::string::npos);
    EXPECT_EQ(refusal("24C64", 2, 7), "accepted") << "old parts have 2-byte pages";
}

TEST(ChipTableTest, EachPartSaysItsFastestBusModeAndTheNamesReadBack) {
    for (const Chip& chip : Chips()) {
        const std::string name = chip.name;
        const bool plus = name == "24c1024" || name == "24xx1025" || name == "24cm02";
        EXPECT_EQ(chip.fastest, plus ? BusSpeed::FastPlus : BusSpeed::Fast) << name;
        EXPECT_EQ(SpeedAboveChip(BusSpeed::Fast, chip), std::nullopt) << name;
        EXPECT_EQ(SpeedAboveChip(BusSpeed::FastPlus, chip).has_value(), !plus) << name;
    }
    EXPECT_EQ(FindChip("24fc1025")->fastest, BusSpeed::FastPlus);
    for (BusSpeed speed : {BusSpeed::Standard, BusSpeed::Fast, BusSpeed::FastPlus})
        EXPECT_EQ(SpeedFromName(SpeedName(speed)), speed);
    EXPECT_EQ(SpeedFromName("FAST-PLUS"), BusSpeed::FastPlus);
    for (const char* word : {"", "fast plus", "fastplus", "400", "standard "})
        EXPECT_EQ(SpeedFromName(word), std::nullopt) << word;
    EXPECT_EQ(SpeedDoubt(BusSpeed::Standard), std::nullopt);
    EXPECT_NE(SpeedDoubt(BusSpeed::FastPlus)->find("1 MHz"), std::string::npos);
}

}  // namespace
}  // namespace lpt
