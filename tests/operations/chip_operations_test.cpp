// The buttons and detect on every addressing scheme of the chip table: one byte, one byte with
// block bits, two bytes, two bytes with a16 in the device byte.
#include <gtest/gtest.h>

#include <algorithm>

#include "operations/detect.h"
#include "operations/operations.h"
#include "support/bus_rig.h"

namespace lpt {
namespace {

using testing::BusRig;
using testing::Hex2;

// The opening of a read or write transaction at `address` as the trace spells it.
std::string Opening(const MemoryGeometry& g, int address, bool read) {
    std::string t = "S " + Hex2(g.DeviceByte(address)) + "+";
    for (int n = g.addressBytes - 1; n >= 0; --n) t += " " + Hex2(address >> (8 * n)) + "+";
    return read ? t + " Sr " + Hex2(g.DeviceByte(address) | 1) + "+" : t;
}

TEST(ChipButtonsTest, BlockReadReadsTheWholeMemoryIn256ByteTransactionsOfItsAddressing) {
    for (const char* name : {"24c01", "24c02", "24c64", "24xx1025"}) {
        SCOPED_TRACE(name);
        const ChipChoice chip = ChooseChip(name);
        const MemoryGeometry g = chip.Geometry();
        BusRig rig(true, chip);
        const OperationResult r = BlockRead(rig.bus, rig.grid, g);
        const int chunk = std::min(256, g.size);
        EXPECT_EQ(r.transactions, g.size / chunk);
        EXPECT_EQ(r.unanswered, 0);
        EXPECT_TRUE(std::equal(r.data.begin(), r.data.end(), rig.eeprom.Memory().begin(),
                               rig.eeprom.Memory().end()));
        const auto trace = rig.Decode();
        ASSERT_EQ(trace.transactions.size(), static_cast<size_t>(r.transactions));
        for (int t : {0, r.transactions - 1}) {
            const std::string& text = trace.transactions[static_cast<size_t>(t)];
            EXPECT_EQ(text.rfind(Opening(g, t * chunk, true), 0), 0u) << text.substr(0, 40);
            const int end = (t + 1) * chunk - 1;
            EXPECT_EQ(text.substr(text.size() - 5), Hex2(rig.eeprom.Memory()[end]) + ". P");
        }
        const int last = g.size - 1;
        EXPECT_EQ(rig.grid.CellText(last / 16 + 1, 16), HexForm(rig.eeprom.Memory()[last]));
        EXPECT_EQ(rig.grid.Rows(), g.size / 16 + 8);
    }
}

TEST(ChipButtonsTest, WritesFillTheFirst256BytesInTheChipsPagesAndReadThemBack) {
    struct Case {
        const char* chip;
        int bytes, pageWrites;
    };
    for (const Case c : {Case{"24c01", 128, 16}, Case{"24c02", 256, 32}, Case{"24c64", 256, 8},
                         Case{"24cm02", 256, 1}}) {
        SCOPED_TRACE(c.chip);
        const ChipChoice chip = ChooseChip(c.chip);
        const MemoryGeometry g = chip.Geometry();
        BusRig rig(true, chip);
        const auto before = rig.eeprom.Memory();
        const OperationResult fill = BlockFill(rig.bus, rig.pause, nullptr, {}, g);
        EXPECT_EQ(fill.transactions, c.pageWrites);
        EXPECT_EQ(fill.unanswered, 0);
        EXPECT_EQ(fill.readBack.compared, c.bytes);
        EXPECT_TRUE(fill.readBack.mismatches.empty());
        const auto& m = rig.eeprom.Memory();
        EXPECT_TRUE(std::all_of(m.begin(), m.begin() + c.bytes, [](auto b) { return b == 0xFF; }));
        EXPECT_TRUE(std::equal(m.begin() + c.bytes, m.end(), before.begin() + c.bytes));
        const auto trace = rig.Decode();
        const std::string second = Opening(g, c.pageWrites > 1 ? g.pageSize : 0, c.pageWrites == 1);
        EXPECT_EQ(trace.transactions[1].rfind(second, 0), 0u) << "the second page, or the read-back";

        const OperationResult pattern = PatternWrite(rig.bus, rig.pause, nullptr, {}, g);
        EXPECT_EQ(pattern.transactions, c.bytes);
        EXPECT_EQ(pattern.readBack.compared, c.bytes);
        EXPECT_TRUE(pattern.readBack.mismatches.empty());
        EXPECT_EQ(m[c.bytes - 1], static_cast<std::uint8_t>(c.bytes - 1));
    }
    EXPECT_FLOAT_EQ(WritePause(ChooseChip("24cm02").Geometry()), 0.010f);
    EXPECT_FLOAT_EQ(WritePause(k24c16), kWritePause);
}

// Detect sends reads only: every transaction that opens with a write address turns into a read
// by a repeated start before its stop.
void ExpectNoWrite(BusRig& rig) {
    EXPECT_EQ(rig.eeprom.CommittedWrites(), 0);
    for (const std::string& t : rig.Decode().transactions) {
        const int device = std::stoi(t.substr(2, 2), nullptr, 16);
        if (device % 2 == 0) {
            EXPECT_NE(t.find(" Sr "), std::string::npos) << t;
        }
    }
}

TEST(DetectTest, TellsEachPartFromItsAddressesAddressingAndRepeatsWithoutWriting) {
    struct Case {
        const char* chip;
        int addressBytes;
        size_t answering;
    };
    for (const Case c : {Case{"24c01", 1, 1}, Case{"24c02", 1, 1}, Case{"24c04", 1, 2},
                         Case{"24c08", 1, 4}, Case{"24c16", 1, 8}, Case{"24c32", 2, 1},
                         Case{"24c256", 2, 1}, Case{"24c512", 2, 1}, Case{"24c1024", 2, 2},
                         Case{"24xx1025", 2, 2}, Case{"24cm02", 2, 4}}) {
        SCOPED_TRACE(c.chip);
        BusRig rig(true, ChooseChip(c.chip));
        const DetectReport report = Detect(rig.bus, rig.clock.Fn());
        EXPECT_EQ(report.answering.size(), c.answering);
        EXPECT_EQ(report.addressBytes, c.addressBytes);
        EXPECT_EQ(report.candidates, std::vector<const Chip*>{FindChip(c.chip)})
            << "the one part left once the addressing and the repeats are known";
        ExpectNoWrite(rig);
    }
    // Contents that begin alike in every 2 KB (the demonstration's ramps) are no repeat.
    BusRig demo(true, ChooseChip("24c64"));
    sim::LoadDemoContents(demo.eeprom);
    EXPECT_EQ(Detect(demo.bus, demo.clock.Fn()).candidates,
              std::vector<const Chip*>{FindChip("24c64")});
}

TEST(DetectTest, AnErasedMemoryOrNoneIsACannotTellNotAGuess) {
    BusRig erased(true, ChooseChip("24c64"));
    std::ranges::fill(erased.eeprom.Memory(), 0xFF);
    const DetectReport report = Detect(erased.bus, erased.clock.Fn());
    EXPECT_EQ(report.addressBytes, 0);
    EXPECT_EQ(report.answering, std::vector<std::uint8_t>{0xA0});
    EXPECT_TRUE(std::ranges::any_of(report.findings, [](const DetectFinding& f) {
        return f.label == DetectFinding::Label::CannotTell;
    }));
    EXPECT_TRUE(std::ranges::none_of(report.findings, [](const DetectFinding& f) {
        return f.label == DetectFinding::Label::Guess;
    }));
    ExpectNoWrite(erased);

    BusRig none(false);
    EXPECT_TRUE(Detect(none.bus, none.clock.Fn()).answering.empty());
}

}  // namespace
}  // namespace lpt
