#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "bus_master.h"
#include "common/chips.h"
#include "sim/sim_eeprom.h"

namespace {

using simtest::Bytes;

TEST(LoadDemoContents, EachBlockHasItsPattern) {
    lpt::SteppingClock clock;
    lpt::sim::SimEeprom eeprom(clock.Fn());
    std::ranges::fill(eeprom.Memory(), 0x00);
    lpt::sim::LoadDemoContents(eeprom);
    const auto& m = eeprom.Memory();
    auto block = [&m](int n) { return Bytes(m.begin() + n * 256, m.begin() + (n + 1) * 256); };
    auto all = [](const Bytes& b, auto pred) { return std::all_of(b.begin(), b.end(), pred); };
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(block(0)[i], i);
        ASSERT_EQ(block(1)[i], 255 - i);
        ASSERT_EQ(block(4)[i], i % 16 < 8 ? 1 << (i % 8) : 0xFF ^ (1 << (i % 8))) << i;  // walking bits
    }
    EXPECT_EQ(std::string(m.begin() + 512, m.begin() + 522), "lpt-eeprom");
    EXPECT_TRUE(all(block(2), [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; }));

    const Bytes b3 = block(3);
    EXPECT_EQ(Bytes(b3.begin(), b3.begin() + 6), (Bytes{0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2}));  // "Привет"
    EXPECT_TRUE(std::count(b3.begin(), b3.end(), 0xA8) && std::count(b3.begin(), b3.end(), 0xB8)) << "Ё and ё";
    // Windows-1251 letters and ASCII only: no UTF-8 lead bytes left over, nothing unconverted.
    EXPECT_TRUE(all(b3, [](std::uint8_t c) { return (c >= 0x20 && c < 0x7F && c != '?') || c >= 0xC0 || c == 0xA8 || c == 0xB8; }));
    EXPECT_GT(std::count_if(b3.begin(), b3.end(), [](std::uint8_t c) { return c >= 0xC0; }), 120);

    const Bytes b5 = block(5);
    EXPECT_TRUE(all(b5, [](std::uint8_t c) { return c == 0x55 || c == 0xAA || c == 0x00; }));
    EXPECT_GE(std::count(b5.begin(), b5.end(), 0x00), 2);
    for (int i = 1; i < 256; ++i) {
        if (b5[i] && b5[i - 1]) {
            ASSERT_NE(b5[i], b5[i - 1]) << "checkerboard broken at " << i;
        }
    }
    EXPECT_TRUE(all(block(6), [](std::uint8_t c) { return c == 0xFF; }));
    const Bytes b7 = block(7);
    EXPECT_NE(std::string(b7.begin(), b7.end()).find("DEMO END"), std::string::npos);
    EXPECT_GE(std::count_if(b7.begin(), b7.end(), [](std::uint8_t c) { return c < 0x20; }), 8);

    lpt::sim::SimEeprom again(clock.Fn());  // starts erased, ends the same
    lpt::sim::LoadDemoContents(again);
    EXPECT_EQ(again.Memory(), m);
    lpt::sim::SimPort port;
    port.Attach(again);
    EXPECT_EQ(simtest::Master(port).ReadAt(0x0FE, 4), (Bytes{0xFE, 0xFF, 0xFF, 0xFE}));
}

TEST(LoadDemoContents, TheTwoKilobytePartKeepsItsContentsByteForByte) {
    lpt::SteppingClock clock;
    lpt::sim::SimEeprom eeprom(clock.Fn());
    lpt::sim::LoadDemoContents(eeprom);
    std::uint32_t hash = 2166136261u;  // FNV-1a over the 2048 bytes
    for (std::uint8_t b : eeprom.Memory()) hash = (hash ^ b) * 16777619u;
    EXPECT_EQ(hash, 0x7C7CEEF7u) << "the contents the screenshots and the earlier releases show";
}

TEST(LoadDemoContents, FillsEveryPartWithPatternsAndText) {
    lpt::SteppingClock clock;
    auto find = [](const Bytes& m, const std::string& text, std::size_t from = 0) {
        const Bytes bytes(text.begin(), text.end());
        return std::search(m.begin() + static_cast<long>(from), m.end(), bytes.begin(),
                           bytes.end());
    };
    for (const lpt::Chip& chip : lpt::Chips()) {
        SCOPED_TRACE(chip.name);
        lpt::sim::SimEeprom eeprom(clock.Fn(), lpt::ChooseChip(chip.name));
        std::ranges::fill(eeprom.Memory(), 0x00);
        lpt::sim::LoadDemoContents(eeprom);
        const Bytes& m = eeprom.Memory();
        for (int i = 0; i < 16; ++i) ASSERT_EQ(m[i], i) << "the ramp at the start";
        EXPECT_NE(find(m, "lpt-eeprom"), m.end());
        EXPECT_NE(find(m, "\xCF\xF0\xE8\xE2\xE5\xF2"), m.end()) << "Привет in Windows-1251";
        EXPECT_NE(find(m, "\x55\xAA\x55\xAA"), m.end());
        EXPECT_NE(find(m, std::string(16, '\xFF')), m.end()) << "an erased stretch";
        for (std::size_t row = 0; row < m.size(); row += 16)
            ASSERT_TRUE(std::any_of(m.begin() + static_cast<long>(row),
                                    m.begin() + static_cast<long>(row + 16),
                                    [](std::uint8_t b) { return b != 0; }))
                << "row " << row << " left unfilled";
        if (chip.size < 2048) continue;
        // Larger parts repeat the 2 KB layout, each copy marked, the last as the end, and they
        // name their own size.
        const int copies = chip.size / 2048;
        int markers = 0;
        for (auto at = find(m, "<<LPT-EEPROM DEMO "); at != m.end();
             at = find(m, "<<LPT-EEPROM DEMO ", static_cast<std::size_t>(at - m.begin()) + 1))
            ++markers;
        EXPECT_EQ(markers, copies);
        const auto end = find(m, "<<LPT-EEPROM DEMO END>>");
        ASSERT_NE(end, m.end());
        EXPECT_GE(end - m.begin(), chip.size - 256);
        EXPECT_NE(find(m, "is a " + std::to_string(chip.size / 1024) + " KB two-wire"), m.end());
        EXPECT_NE(find(m, "\xED\xE0 " + std::to_string(chip.size) + " "), m.end())
            << "на <size> in Windows-1251";
        if (copies > 1) {
            EXPECT_FALSE(std::equal(m.begin(), m.begin() + 2048, m.begin() + 2048));
        }
    }
}

}  // namespace
