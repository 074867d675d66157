#include "operations/dump_grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace lpt {
namespace {

TEST(DumpGridFormat, HeaderTextsAlignmentsAndWidthsComeFromTheFormatString) {
    DumpGrid grid;
    EXPECT_EQ(grid.CellText(0, 0), "  ");
    EXPECT_EQ(grid.ColumnAlignment(0), Alignment::Left);
    const char* digits = "0123456789ABCDEF";
    for (int c = 1; c <= 16; ++c) {
        EXPECT_EQ(grid.CellText(0, c), std::string(" ") + digits[c - 1]) << c;
        EXPECT_EQ(grid.ColumnAlignment(c), Alignment::Centre);
        EXPECT_EQ(grid.ColumnWidthChars(c), 2);
    }
    EXPECT_EQ(grid.CellText(0, 17), " ");
    EXPECT_EQ(grid.ColumnAlignment(17), Alignment::Default);
    for (int c = 18; c <= 33; ++c) {
        EXPECT_EQ(grid.CellText(0, c), std::string(1, digits[c - 18])) << c;
        EXPECT_EQ(grid.ColumnAlignment(c), Alignment::Centre);
        EXPECT_EQ(grid.ColumnWidthChars(c), 1);
    }
    EXPECT_EQ(grid.ColumnWidthChars(0), 2);
    for (int r = 1; r < DumpGrid::kRows; ++r)
        for (int c = 0; c < DumpGrid::kCols; ++c) ASSERT_TRUE(grid.CellText(r, c).empty());
}

TEST(DumpGridCells, AGridHasARowForEverySixteenBytesOfItsMemoryAndResizesEmpty) {
    DumpGrid grid(262144);
    EXPECT_EQ(grid.Rows(), 16384 + 8);
    grid.SetCellText(16391, 33, "x");
    EXPECT_THROW(grid.SetCellText(16392, 0, "x"), std::out_of_range);
    int cleared = 0;
    grid.SetChangeListener([&](int r, int c) { cleared += r == -1 && c == -1; });
    grid.Resize(128);
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(grid.Rows(), 16);
    EXPECT_EQ(grid.CellText(0, 1), " 0") << "the header row stays";
    EXPECT_THROW(grid.CellText(16, 0), std::out_of_range);
    for (int r = 1; r < grid.Rows(); ++r)
        for (int c = 0; c < DumpGrid::kCols; ++c) ASSERT_TRUE(grid.CellText(r, c).empty());
}

TEST(DumpGridCells, ClearEmptiesEverythingIncludingTheHeaderAndKeepsTheShape) {
    DumpGrid grid;
    int notified = 0;
    grid.SetChangeListener([&](int r, int c) {
        ++notified;
        if (notified == 2) {
            EXPECT_EQ(r, -1);
            EXPECT_EQ(c, -1);
        }
    });
    grid.SetCellText(135, 33, "x");
    grid.Clear();
    EXPECT_EQ(notified, 2);
    for (int r = 0; r < DumpGrid::kRows; ++r)
        for (int c = 0; c < DumpGrid::kCols; ++c) ASSERT_TRUE(grid.CellText(r, c).empty());
    EXPECT_EQ(grid.ColumnWidthChars(1), 2);
    EXPECT_EQ(grid.ColumnAlignment(18), Alignment::Centre);
    EXPECT_THROW(grid.SetCellText(136, 0, "x"), std::out_of_range);
    EXPECT_THROW(grid.SetCellText(0, 34, "x"), std::out_of_range);
    EXPECT_THROW(grid.SetCellText(-1, 0, "x"), std::out_of_range);
}

TEST(DumpGridText, HexFormHasNoLeadingZerosOrPrefix) {
    EXPECT_EQ(HexForm(0), "0");
    EXPECT_EQ(HexForm(10), "A");
    EXPECT_EQ(HexForm(255), "FF");
    EXPECT_EQ(HexForm(0xA0), "A0");
    EXPECT_EQ(HexForm(2048), "800");
    EXPECT_EQ(HexForm(444), "1BC");
}

TEST(DumpGridText, CharFormConvertsAll256CodesFromWindows1251) {
    EXPECT_EQ(CharForm(0), std::string(1, '\0')) << "NUL is kept as one raw character";
    EXPECT_EQ(CharForm(0x0A), "\n");
    EXPECT_EQ(CharForm(0x1F), "\x1F");
    EXPECT_EQ(CharForm('A'), "A");
    EXPECT_EQ(CharForm(0x7F), "\x7F");
    EXPECT_EQ(CharForm(0xC0), "А");
    EXPECT_EQ(CharForm(0xFF), "я");
    EXPECT_EQ(CharForm(0xA8), "Ё");
    EXPECT_EQ(CharForm(0xB8), "ё");
    EXPECT_EQ(CharForm(0xB9), "№");
    EXPECT_EQ(CharForm(0x88), "€");
    EXPECT_EQ(CharForm(0xA5), "Ґ");
    EXPECT_EQ(Cp1251ToUnicode(0x98), U'\u0098');
    // Every code gives exactly one character, and no two codes give the same one.
    std::set<char32_t> seen;
    for (int b = 0; b < 256; ++b) {
        EXPECT_TRUE(seen.insert(Cp1251ToUnicode(static_cast<std::uint8_t>(b))).second) << b;
        const std::string s = CharForm(static_cast<std::uint8_t>(b));
        ASSERT_FALSE(s.empty());
        const int continuation = static_cast<int>(
            std::count_if(s.begin(), s.end(), [](char ch) { return (ch & 0xC0) == 0x80; }));
        EXPECT_EQ(static_cast<int>(s.size()) - continuation, 1) << "one code point for " << b;
    }
}

TEST(PlaceByteTest, FirstPlacementWritesTheLabelBelowBeforeTheByte) {
    DumpGrid grid;
    std::vector<std::pair<int, int>> order;
    grid.SetChangeListener([&](int r, int c) { order.emplace_back(r, c); });
    WriteCursor cursor;
    PlaceByte(grid, cursor, 0);
    const std::vector<std::pair<int, int>> expected = {{2, 0}, {1, 1}, {1, 18}};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(grid.CellText(2, 0), "1");
    EXPECT_EQ(grid.CellText(1, 1), "0");
    EXPECT_EQ(grid.CellText(1, 18), std::string(1, '\0'));
    EXPECT_EQ(cursor.row, 1);
    EXPECT_EQ(cursor.col, 2);
}

TEST(PlaceByteTest, TheLabelOfTheNextRowCountsUpWhileARowFills) {
    DumpGrid grid;
    WriteCursor cursor{3, 1};
    const std::vector<std::string> expected = {"3", "6", "9", "C", "F", "12", "15", "18",
                                               "1B", "1E", "21", "24", "27", "2A", "2D", "30"};
    for (int i = 0; i < 16; ++i) {
        PlaceByte(grid, cursor, i);
        EXPECT_EQ(grid.CellText(4, 0), expected[i]) << i;
    }
    EXPECT_EQ(cursor.row, 4);
    EXPECT_EQ(cursor.col, 1);
    EXPECT_EQ(grid.CellText(3, 16), "F");
    EXPECT_EQ(grid.CellText(3, 33), "\x0F");
}

TEST(PlaceByteTest, AFullRunOf2048BytesFillsRows1To128AndLabelsUpTo800) {
    DumpGrid grid;
    WriteCursor cursor;
    for (int block = 0; block < 8; ++block) {
        cursor.col = 1;
        for (int i = 0; i < 256; ++i) PlaceByte(grid, cursor, (block * 256 + i) * 7 & 0xFF);
    }
    for (int a = 0; a < 2048; ++a) {
        const int row = a / 16 + 1;
        ASSERT_EQ(grid.CellText(row, a % 16 + 1), HexForm((a * 7) & 0xFF)) << a;
        ASSERT_EQ(grid.CellText(row, a % 16 + 18), CharForm(static_cast<std::uint8_t>(a * 7)));
    }
    EXPECT_TRUE(grid.CellText(1, 0).empty());
    EXPECT_EQ(grid.CellText(2, 0), "10");
    EXPECT_EQ(grid.CellText(128, 0), "7F0");
    EXPECT_EQ(grid.CellText(129, 0), "800");
    for (int c = 1; c < DumpGrid::kCols; ++c) EXPECT_TRUE(grid.CellText(129, c).empty()) << c;
    for (int r = 1; r < DumpGrid::kRows; ++r) EXPECT_TRUE(grid.CellText(r, 17).empty()) << r;
    for (int r = 130; r < DumpGrid::kRows; ++r)
        for (int c = 0; c < DumpGrid::kCols; ++c) EXPECT_TRUE(grid.CellText(r, c).empty());
}

}  // namespace
}  // namespace lpt
