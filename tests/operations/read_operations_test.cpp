#include <gtest/gtest.h>

#include <span>

#include "operations/operations.h"
#include "support/bus_rig.h"

namespace lpt {
namespace {

using testing::BusRig;
using testing::Hex2;

std::string ExpectedBlockRead(const BusRig& rig, int block) {
    std::string t = "S " + Hex2(0xA0 + 2 * block) + "+ 00+ Sr " + Hex2(0xA1 + 2 * block) + "+";
    for (int i = 0; i < 256; ++i)
        t += " " + Hex2(rig.eeprom.Memory()[block * 256 + i]) + (i == 255 ? "." : "+");
    return t + " P";
}

void ExpectGridHolds(const DumpGrid& grid, std::span<const std::uint8_t> memory) {
    for (int a = 0; a < 2048; ++a) {
        ASSERT_EQ(grid.CellText(a / 16 + 1, a % 16 + 1), HexForm(memory[a])) << "address " << a;
        ASSERT_EQ(grid.CellText(a / 16 + 1, a % 16 + 18), CharForm(memory[a])) << "address " << a;
    }
    EXPECT_TRUE(grid.CellText(1, 0).empty());
    for (int r = 2; r <= 129; ++r) EXPECT_EQ(grid.CellText(r, 0), HexForm(16 * (r - 1))) << r;
    EXPECT_EQ(grid.CellText(129, 0), "800");
    for (int r = 1; r < DumpGrid::kRows; ++r) EXPECT_TRUE(grid.CellText(r, 17).empty()) << r;
}

TEST(BlockReadTest, ReadsEveryByteIntoItsCellsWithOneTransactionPerBlock) {
    BusRig rig;
    const OperationResult r = BlockRead(rig.bus, rig.grid);

    ExpectGridHolds(rig.grid, testing::Contents(rig.eeprom));
    const sim::DecodedTrace trace = rig.Decode();
    EXPECT_TRUE(trace.faults.empty());
    ASSERT_EQ(trace.transactions.size(), 8u);
    for (int b = 0; b < 8; ++b) EXPECT_EQ(trace.transactions[b], ExpectedBlockRead(rig, b)) << b;
    EXPECT_EQ(r.transactions, 8);
    EXPECT_EQ(r.unanswered, 0);
    EXPECT_TRUE(std::equal(r.data.begin(), r.data.end(), rig.eeprom.Memory().begin(),
                           rig.eeprom.Memory().end()))
        << "the bytes read come back with the result";
    // Port calls per block: start, three address bytes, repeated start, 255 acknowledged
    // reads, the last read and the stop; once, the bus check's status read.
    EXPECT_EQ(rig.port.Writes() + rig.port.Reads(), 1 + 8L * (4 + 3 * 28 + 4 + 255 * 36 + 32 + 4));
}

TEST(BlockReadTest, TwoRunsLeaveTheGridAsOneRunDoesWithTheSecondRunsValues) {
    BusRig rig;
    BlockRead(rig.bus, rig.grid);
    std::ranges::fill(rig.eeprom.Memory(), 0x41);
    BlockRead(rig.bus, rig.grid);
    ExpectGridHolds(rig.grid, testing::Contents(rig.eeprom));
}

TEST(BlockReadTest, WithNoMemoryOnTheBusItCompletesFillsFFAndSaysSo) {
    BusRig rig(false);
    const OperationResult r = BlockRead(rig.bus, rig.grid);
    std::array<std::uint8_t, 2048> ff;
    ff.fill(0xFF);
    ExpectGridHolds(rig.grid, ff);
    EXPECT_EQ(r.data.size(), 2048u);
    const sim::DecodedTrace trace = rig.Decode();
    ASSERT_EQ(trace.transactions.size(), 8u);
    EXPECT_EQ(trace.transactions[7].substr(0, 17), "S AE- 00- Sr AF- ");
    EXPECT_EQ(r.transactions, 8);
    EXPECT_EQ(r.unanswered, 8);
}

TEST(ByteReadTest, TheTransactionForAddress53CLandsInRow84) {
    BusRig rig;
    rig.eeprom.Memory()[0x53C] = 0xC4;  // 'Д'
    std::vector<std::string> labels85;  // what the label cell of row 85 was written with
    rig.grid.SetChangeListener([&](int r, int c) {
        if (r == 85 && c == 0) labels85.push_back(rig.grid.CellText(85, 0));
    });
    ByteRead(rig.bus, rig.grid);
    ASSERT_EQ(labels85.size(), 16u);
    EXPECT_EQ(labels85[12], "444") << "84 x 13 in hex, written with the byte at 0x53C";
    EXPECT_EQ(labels85[15], "540");
    const sim::DecodedTrace trace = rig.Decode();
    ASSERT_EQ(trace.transactions.size(), 2048u);
    EXPECT_EQ(trace.transactions[0x53C], "S AA+ 3C+ Sr AB+ C4. P");
    EXPECT_EQ(rig.grid.CellText(84, 13), "C4");
    EXPECT_EQ(rig.grid.CellText(84, 30), "Д");
}

TEST(ByteReadTest, Makes2048TransactionsInAddressOrder) {
    BusRig rig;
    const OperationResult r = ByteRead(rig.bus, rig.grid);
    const sim::DecodedTrace trace = rig.Decode();
    EXPECT_TRUE(trace.faults.empty());
    ASSERT_EQ(trace.transactions.size(), 2048u);
    for (int a = 0; a < 2048; ++a) {
        const int block = a / 256;
        ASSERT_EQ(trace.transactions[a], "S " + Hex2(0xA0 + 2 * block) + "+ " + Hex2(a) + "+ Sr " +
                                             Hex2(0xA1 + 2 * block) + "+ " +
                                             Hex2(rig.eeprom.Memory()[a]) + ". P");
    }
    EXPECT_EQ(r.transactions, 2048);
    EXPECT_EQ(r.unanswered, 0);
    EXPECT_TRUE(std::equal(r.data.begin(), r.data.end(), rig.eeprom.Memory().begin(),
                           rig.eeprom.Memory().end()));
    EXPECT_EQ(rig.port.Writes() + rig.port.Reads(), 1 + 2048L * 128);
}

TEST(ByteReadTest, OnUnchangedMemoryLeavesTheGridExactlyAsTheBlockReadDoes) {
    BusRig rig;
    BlockRead(rig.bus, rig.grid);
    DumpGrid byBytes;
    ByteRead(rig.bus, byBytes);
    for (int r = 0; r < DumpGrid::kRows; ++r)
        for (int c = 0; c < DumpGrid::kCols; ++c)
            ASSERT_EQ(byBytes.CellText(r, c), rig.grid.CellText(r, c)) << r << "," << c;
}

TEST(ByteReadTest, WithNoMemoryOnTheBusItCompletesFillsFFAndCountsEveryTransaction) {
    BusRig rig(false);
    const OperationResult r = ByteRead(rig.bus, rig.grid);
    for (int a = 0; a < 2048; ++a) ASSERT_EQ(rig.grid.CellText(a / 16 + 1, a % 16 + 1), "FF");
    EXPECT_EQ(rig.grid.CellText(129, 0), "800");
    EXPECT_EQ(r.transactions, 2048);
    EXPECT_EQ(r.unanswered, 2048);
}

TEST(ReadFailureTest, APortFailureEndsTheReadWhereItHappened) {
    BusRig rig;
    rig.port.FailAfter(1000, "порт пропал");
    EXPECT_THROW(BlockRead(rig.bus, rig.grid), PortError);
    EXPECT_FALSE(rig.grid.CellText(1, 1).empty()) << "bytes read before the failure stay";
    EXPECT_TRUE(rig.grid.CellText(17, 1).empty());
}

}  // namespace
}  // namespace lpt
