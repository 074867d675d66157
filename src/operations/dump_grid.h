// The dump grid: a table of text cells that shows what the reads read, sixteen bytes to a row: an
// address label, sixteen hexadecimal cells, an empty separator column and sixteen character
// cells, 34 columns. Row 0 is the header row and column 0 the address labels. A row for every
// sixteen bytes of the memory and seven empty rows below: 136 rows for the 2 KB memory.
//
// Texts are UTF-8. The character cells hold the byte's Windows-1251 character as it is, control
// characters included (a NUL byte gives a one-character text holding NUL).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "operations/hex_text.h"

namespace lpt {

enum class Alignment { Default, Left, Centre };

class DumpGrid {
public:
    static constexpr int RowsFor(int memorySize) { return memorySize / 16 + 8; }
    static constexpr int kRows = 2048 / 16 + 8;  // the 24c16's grid (RowsFor(2048))
    static constexpr int kCols = 34;
    // Header texts and column alignments; each '|' ends one column's segment, a leading '<' or
    // '^' aligns the column left or centred.
    static constexpr const char* kFormatString =
        "<  |^ 0|^ 1|^ 2|^ 3|^ 4|^ 5|^ 6|^ 7|^ 8|^ 9|^ A|^ B|^ C|^ D|^ E|^ F| "
        "|^0|^1|^2|^3|^4|^5|^6|^7|^8|^9|^A|^B|^C|^D|^E|^F";

    explicit DumpGrid(int memorySize = 2048);

    int Rows() const { return rows_; }
    void SetCellText(int row, int col, std::string text);
    // Empties every cell, the header row included; shape, widths and alignments stay.
    void Clear();
    // The grid of a memory of another size: RowsFor(memorySize) rows, every cell below row 0
    // empty; row 0, the widths and the alignments stay. The listener hears (-1, -1).
    void Resize(int memorySize);

    const std::string& CellText(int row, int col) const;
    Alignment ColumnAlignment(int col) const { return alignments_.at(col); }
    // Width of the column's header text as set by the format string, in characters.
    int ColumnWidthChars(int col) const { return widths_.at(col); }

    // Called after every cell change with its row and column; (-1, -1) after Clear.
    using ChangeListener = std::function<void(int row, int col)>;
    void SetChangeListener(ChangeListener listener) { listener_ = std::move(listener); }

private:
    int rows_;
    std::vector<std::string> cells_;
    std::array<Alignment, kCols> alignments_{};
    std::array<int, kCols> widths_{};
    ChangeListener listener_;
};

// The write cursor of one read run: the row and column the next byte goes to.
struct WriteCursor {
    int row = 1;
    int col = 1;
};

// The byte as a Windows-1251 character, in UTF-8. Every code converts the same way; codes below
// 32 give the control character itself.
std::string CharForm(std::uint8_t byte);
// The Unicode code point of a Windows-1251 byte.
char32_t Cp1251ToUnicode(std::uint8_t byte);

// Places one byte read at the cursor and moves the cursor on: the label of the row below gets
// row x col in hex, the hex cell and the character cell get the byte, and after column 16 the
// cursor goes to column 1 of the next row.
void PlaceByte(DumpGrid& grid, WriteCursor& cursor, int value);

}  // namespace lpt
