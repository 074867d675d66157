#include "operations/dump_grid.h"

#include <stdexcept>

namespace lpt {

namespace {

// Windows-1251, codes 0x80 to 0xFF. 0x98 is unassigned in the code page; it is passed through
// as the C1 control U+0098, as the system's own conversion does.
constexpr char16_t kCp1251High[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    // C0 to FF: А..я in order.
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

std::string Utf8(char32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        s.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        s.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        s.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    return s;
}

void CheckCell(int row, int col, int rows) {
    if (row < 0 || row >= rows || col < 0 || col >= DumpGrid::kCols)
        throw std::out_of_range("grid cell (" + std::to_string(row) + ", " + std::to_string(col) +
                                ") is outside the grid");
}

}  // namespace

DumpGrid::DumpGrid(int memorySize)
    : rows_(RowsFor(memorySize)), cells_(static_cast<size_t>(rows_ * kCols)) {
    // Split the format string into its column segments.
    std::string format = kFormatString;
    int col = 0;
    size_t begin = 0;
    while (col < kCols) {
        size_t end = format.find('|', begin);
        std::string segment =
            format.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        Alignment align = Alignment::Default;
        if (!segment.empty() && (segment[0] == '<' || segment[0] == '^')) {
            align = segment[0] == '<' ? Alignment::Left : Alignment::Centre;
            segment.erase(0, 1);
        }
        alignments_[col] = align;
        widths_[col] = static_cast<int>(segment.size());  // the header texts are ASCII
        cells_[col] = segment;
        ++col;
        if (end == std::string::npos) break;
        begin = end + 1;
    }
}

void DumpGrid::SetCellText(int row, int col, std::string text) {
    CheckCell(row, col, rows_);
    cells_[static_cast<size_t>(row * kCols + col)] = std::move(text);
    if (listener_) listener_(row, col);
}

void DumpGrid::Clear() {
    for (auto& cell : cells_) cell.clear();
    if (listener_) listener_(-1, -1);
}

void DumpGrid::Resize(int memorySize) {
    rows_ = RowsFor(memorySize);
    std::vector<std::string> header(cells_.begin(), cells_.begin() + kCols);
    cells_.assign(static_cast<size_t>(rows_ * kCols), std::string());
    for (int col = 0; col < kCols; ++col) cells_[static_cast<size_t>(col)] = header[col];
    if (listener_) listener_(-1, -1);
}

const std::string& DumpGrid::CellText(int row, int col) const {
    CheckCell(row, col, rows_);
    return cells_[static_cast<size_t>(row * kCols + col)];
}

char32_t Cp1251ToUnicode(std::uint8_t byte) {
    return byte < 0x80 ? char32_t{byte} : char32_t{kCp1251High[byte - 0x80]};
}

std::string CharForm(std::uint8_t byte) {
    return Utf8(Cp1251ToUnicode(byte));  // NUL too: a one-character text holding NUL
}

void PlaceByte(DumpGrid& grid, WriteCursor& cursor, int value) {
    grid.SetCellText(cursor.row + 1, 0, HexForm(static_cast<long>(cursor.row) * cursor.col));
    grid.SetCellText(cursor.row, cursor.col, HexForm(value));
    grid.SetCellText(cursor.row, cursor.col + 17, CharForm(static_cast<std::uint8_t>(value)));
    cursor.col = cursor.col + 1;
    if (cursor.col == 17) cursor.row = cursor.row + 1;
    if (cursor.col == 17) cursor.col = 1;
}

}  // namespace lpt
