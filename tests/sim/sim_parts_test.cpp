// The simulated memory as each part of the chip table: the device bytes it answers with its pins,
// how it takes its word address, its pages, the roll-over at the end of the memory and its write
// cycle. One test per addressing scheme; the parts of a scheme run through the same checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "bus_master.h"
#include "common/chips.h"
#include "operations/hex_text.h"
#include "sim/sim_eeprom.h"
#include "support/sim_bus.h"

namespace {

using namespace std::chrono_literals;
using lpt::ChipChoice;
using lpt::ChooseChip;
using simtest::Bytes;

// Every cell different from its neighbours and from the same offset in other blocks.
std::uint8_t Cell(int a) {
    return static_cast<std::uint8_t>(a * 7 + (a >> 8) * 3 + (a >> 16) * 5);
}

// One part on a simulated bus whose clock moves only when the test says so, filled with Cell,
// and a master that addresses it as its geometry says.
struct PartBus : lpt::testing::SimBus {
    explicit PartBus(const ChipChoice& chip)
        : SimBus(true, Cell, lpt::TimeNs{0}, chip), master(port, chip.Geometry()) {}
    simtest::Master master;
};

// The write device bytes a part answers with its pins (the read byte above each answers too,
// nothing else does).
struct Answers {
    const char* chip;
    int pins;
    std::vector<int> writeBytes;
};

void ExpectAnswers(const std::vector<Answers>& rows) {
    for (const Answers& row : rows) {
        SCOPED_TRACE(std::string(row.chip) + " pins " + std::to_string(row.pins));
        PartBus bus(ChipChoice{lpt::FindChip(row.chip), 0, row.pins});
        std::vector<int> answered, expected;
        for (int a = 0; a < 256; ++a)
            if (bus.master.Probe(static_cast<std::uint8_t>(a))) answered.push_back(a);
        for (int w : row.writeBytes) expected.insert(expected.end(), {w, w | 1});
        EXPECT_EQ(answered, expected);
    }
}

// What every part does the same way at its own size, page and write cycle: random reads,
// sequential reads rolling over from the last byte to the first, a page write that starts in
// the middle of the last page and wraps inside it, and the write cycle after it.
struct Layout {
    const char* chip;
    int size;
    int page;
    std::chrono::milliseconds writeCycle;
};

void ExpectReadsPagesAndWriteCycle(const std::vector<Layout>& rows) {
    for (const Layout& row : rows) {
        SCOPED_TRACE(row.chip);
        const ChipChoice choice = ChooseChip(row.chip);
        PartBus bus(choice);
        simtest::Master& m = bus.master;
        const auto& memory = bus.eeprom.Memory();
        const int size = row.size, page = row.page;
        ASSERT_EQ(bus.eeprom.Size(), size);
        EXPECT_EQ(m.ReadAt(size / 2 + 3, 1), Bytes{Cell(size / 2 + 3)});
        EXPECT_EQ(m.ReadAt(size - 2, 4), (Bytes{Cell(size - 2), Cell(size - 1), Cell(0), Cell(1)}));
        EXPECT_EQ(bus.eeprom.AddressPointer(), 2u);
        EXPECT_EQ(m.ReadCurrent(1), Bytes{Cell(2)});

        // page + 1 bytes from the middle of the last page: the second half of the page, then
        // its first half, then the first offset again.
        const int base = size - page;
        Bytes data, expected(static_cast<size_t>(page));
        for (int i = 0; i <= page; ++i) {
            const int offset = (page / 2 + i) % page;
            data.push_back(static_cast<std::uint8_t>(~Cell(base + offset) + i / page));
            expected[static_cast<size_t>(offset)] = data.back();
        }
        ASSERT_TRUE(m.Write(base + page / 2, data));
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), memory.begin() + base));
        EXPECT_EQ(memory[base - 1], Cell(base - 1));
        EXPECT_EQ(memory[0], Cell(0));
        EXPECT_EQ(bus.eeprom.AddressPointer(), std::uint32_t(base + page / 2 + 1));

        const std::uint8_t device = choice.Geometry().deviceType;
        bus.clock.Advance(row.writeCycle - 1us);
        EXPECT_FALSE(m.Probe(device)) << "still writing";
        bus.clock.Advance(1us);
        EXPECT_TRUE(m.Probe(device));
        EXPECT_EQ(bus.eeprom.CommittedWrites(), 1);
    }
}

// A random read of `address` written out byte by byte: the device byte and the word address
// bytes as given, a repeated start and the device byte with R/W set.
struct SpelledRead {
    const char* chip;
    int pins;
    int address;
    Bytes sent;
};

void ExpectSpelledReads(const std::vector<SpelledRead>& rows) {
    for (const SpelledRead& row : rows) {
        SCOPED_TRACE(std::string(row.chip) + " " + lpt::AddressText(row.address));
        PartBus bus(ChooseChip(row.chip, {}, row.pins));
        std::string trace = "S";
        bus.master.Start();
        for (std::uint8_t b : row.sent) {
            bus.master.WriteByte(b);
            trace += " " + lpt::ByteHex(b) + "+";
        }
        bus.master.Start();
        bus.master.WriteByte(static_cast<std::uint8_t>(row.sent[0] | 1));
        EXPECT_EQ(bus.master.ReadByte(false), Cell(row.address));
        bus.master.Stop();
        trace += " Sr " + lpt::ByteHex(row.sent[0] | 1) + "+ " + lpt::ByteHex(Cell(row.address)) +
                 ". P";
        EXPECT_EQ(bus.Decode().Text(), trace);
    }
}

TEST(SimEepromParts, OneByteWordAddress) {
    ExpectAnswers({{"24c01", 0, {0xA0}},
                   {"24c01", 5, {0xAA}},
                   {"24c02", 0, {0xA0}},
                   {"24c02", 3, {0xA6}},
                   {"24c02", 7, {0xAE}}});
    ExpectReadsPagesAndWriteCycle({{"24c01", 128, 8, 5ms}, {"24c02", 256, 8, 5ms}});
    ExpectSpelledReads({{"24c01", 0, 0x75, {0xA0, 0xF5}},  // the bit above 128 bytes is ignored
                        {"24c02", 6, 0xF5, {0xAC, 0xF5}}});

    // A write cut off by a repeated start stores nothing, but its data bytes have moved the
    // pointer on inside the page: 0x06, 0x07, then round to 0x00 and 0x01.
    PartBus bus(ChooseChip("24c02"));
    bus.master.Start();
    for (std::uint8_t b : {0xA0, 0x06, 0x11, 0x22, 0x33}) ASSERT_TRUE(bus.master.WriteByte(b));
    bus.master.Start();
    ASSERT_TRUE(bus.master.WriteByte(0xA1));
    EXPECT_EQ(bus.master.ReadByte(false), Cell(0x01));
    bus.master.Stop();
    EXPECT_EQ(bus.eeprom.CommittedWrites(), 0);
    for (int a = 0; a < 256; ++a) ASSERT_EQ(bus.eeprom.Memory()[a], Cell(a)) << a;
}

TEST(SimEepromParts, OneByteWordAddressWithBlockBits) {
    ExpectAnswers({{"24c04", 0, {0xA0, 0xA2}},
                   {"24c04", 6, {0xAC, 0xAE}},
                   {"24c08", 0, {0xA0, 0xA2, 0xA4, 0xA6}},
                   {"24c08", 4, {0xA8, 0xAA, 0xAC, 0xAE}},
                   {"24c16", 0, {0xA0, 0xA2, 0xA4, 0xA6, 0xA8, 0xAA, 0xAC, 0xAE}},
                   {"24c16", 5, {0xA0, 0xA2, 0xA4, 0xA6, 0xA8, 0xAA, 0xAC, 0xAE}}});
    ExpectReadsPagesAndWriteCycle(
        {{"24c04", 512, 16, 5ms}, {"24c08", 1024, 16, 5ms}, {"24c16", 2048, 16, 5ms}});
    ExpectSpelledReads({{"24c04", 0, 0x1CD, {0xA2, 0xCD}},
                        {"24c04", 2, 0x0CD, {0xA4, 0xCD}},
                        {"24c08", 4, 0x3CD, {0xAE, 0xCD}},
                        {"24c16", 0, 0x5CD, {0xAA, 0xCD}}});

    const lpt::sim::SimEeprom plain;  // with nothing said, the 2 KB part
    EXPECT_STREQ(plain.Chip().Part().name, "24c16");
    EXPECT_EQ(plain.Size(), 2048);
    EXPECT_EQ(plain.Chip().PageSize(), 16);
    EXPECT_TRUE(std::all_of(plain.Memory().begin(), plain.Memory().end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
}

TEST(SimEepromParts, TwoByteWordAddress) {
    ExpectAnswers({{"24c32", 0, {0xA0}},
                   {"24c64", 7, {0xAE}},
                   {"24c128", 1, {0xA2}},
                   {"24c256", 2, {0xA4}},
                   {"24c512", 5, {0xAA}}});
    ExpectReadsPagesAndWriteCycle({{"24c32", 4096, 32, 5ms},
                                   {"24c64", 8192, 32, 5ms},
                                   {"24c128", 16384, 64, 5ms},
                                   {"24c256", 32768, 64, 5ms},
                                   {"24c512", 65536, 128, 5ms}});
    ExpectSpelledReads({{"24c32", 0, 0x123, {0xA0, 0xF1, 0x23}},  // bits above 4 KB ignored
                        {"24c128", 3, 0x1BCD, {0xA6, 0xDB, 0xCD}},
                        {"24c512", 0, 0xABCD, {0xA0, 0xAB, 0xCD}}});

    // One word address byte is half an address: the pointer stays where the last read left it,
    // whether a repeated start or a stop follows.
    PartBus bus(ChooseChip("24c64"));
    simtest::Master& m = bus.master;
    ASSERT_EQ(m.ReadAt(0x1230, 2), (Bytes{Cell(0x1230), Cell(0x1231)}));
    bus.port.ClearCalls();
    m.Start();
    ASSERT_TRUE(m.WriteByte(0xA0));
    ASSERT_TRUE(m.WriteByte(0x40));
    m.Start();
    ASSERT_TRUE(m.WriteByte(0xA1));
    EXPECT_EQ(m.ReadByte(false), Cell(0x1232));
    m.Stop();
    EXPECT_EQ(bus.Decode().Text(), "S A0+ 40+ Sr A1+ " + lpt::ByteHex(Cell(0x1232)) + ". P");
    m.Start();
    ASSERT_TRUE(m.WriteByte(0xA0));
    ASSERT_TRUE(m.WriteByte(0x55));
    m.Stop();
    EXPECT_EQ(m.ReadCurrent(1), Bytes{Cell(0x1233)});

    // A write cut off by a repeated start: nothing stored, the pointer moved on inside the page.
    m.Start();
    for (std::uint8_t b : {0xA0, 0x12, 0x3E, 0x01, 0x02, 0x03}) ASSERT_TRUE(m.WriteByte(b));
    m.Start();
    ASSERT_TRUE(m.WriteByte(0xA1));
    EXPECT_EQ(m.ReadByte(false), Cell(0x1221));
    m.Stop();
    EXPECT_EQ(bus.eeprom.CommittedWrites(), 0);
}

TEST(SimEepromParts, TwoByteWordAddressWithHighBits) {
    ExpectAnswers({{"24c1024", 0, {0xA0, 0xA2}},
                   {"24c1024", 6, {0xAC, 0xAE}},
                   {"24xx1025", 4, {0xA0, 0xA8}},  // B0 in bit 3, A1 A0 compared
                   {"24xx1025", 7, {0xA6, 0xAE}},
                   {"24xx1025", 3, {}},  // A2 low: the part is dead on the bus
                   {"24xx1025", 0, {}},
                   {"24cm02", 0, {0xA0, 0xA2, 0xA4, 0xA6}},
                   {"24cm02", 4, {0xA8, 0xAA, 0xAC, 0xAE}}});
    ExpectReadsPagesAndWriteCycle({{"24c1024", 131072, 256, 5ms},
                                   {"24xx1025", 131072, 128, 5ms},
                                   {"24cm02", 262144, 256, 10ms}});
    ExpectSpelledReads({{"24c1024", 0, 0x1ABCD, {0xA2, 0xAB, 0xCD}},
                        {"24c1024", 2, 0x0ABCD, {0xA4, 0xAB, 0xCD}},
                        {"24xx1025", 4, 0x1ABCD, {0xA8, 0xAB, 0xCD}},
                        {"24xx1025", 5, 0x0ABCD, {0xA2, 0xAB, 0xCD}},
                        {"24cm02", 0, 0x3ABCD, {0xA6, 0xAB, 0xCD}},
                        {"24cm02", 4, 0x2ABCD, {0xAC, 0xAB, 0xCD}}});

    // Wired with A2 low, the 24xx1025 takes no write either and never holds SDA.
    PartBus dead(ChipChoice{lpt::FindChip("24xx1025"), 0, 0});
    EXPECT_FALSE(dead.master.Write(0x00010, {0x12}));
    EXPECT_EQ(dead.eeprom.Memory()[0x10], Cell(0x10));
    EXPECT_TRUE(dead.port.Sda());

    // Set by hand, the write cycle wins over the part's.
    PartBus bus(ChooseChip("24cm02"));
    bus.eeprom.SetWriteCycle(2ms);
    ASSERT_TRUE(bus.master.Write(0x3FFFF, {0x00}));
    bus.clock.Advance(2ms);
    EXPECT_TRUE(bus.master.Probe(0xA0));
}

}  // namespace
