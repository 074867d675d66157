#include "ui/grid_table_model.h"

#include <algorithm>

namespace lpt::ui {

namespace {

QString CellString(const DumpGrid& grid, int row, int col) {
    const std::string& text = grid.CellText(row, col);
    // Explicit size: a NUL byte is a character of the cell, not its end.
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant AlignmentOf(Alignment a) {
    switch (a) {
        case Alignment::Left: return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        case Alignment::Centre: return QVariant::fromValue(Qt::AlignHCenter | Qt::AlignVCenter);
        case Alignment::Default: break;
    }
    return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
}

}  // namespace

GridTableModel::GridTableModel(const DumpGrid& grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid) {}

int GridTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.Rows() - 1;
}

int GridTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : DumpGrid::kCols - 1;
}

QVariant GridTableModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    const int row = GridRow(index.row());
    const int col = GridCol(index.column());
    switch (role) {
        case Qt::DisplayRole: return CellString(grid_, row, col);
        case Qt::BackgroundRole: return IsMarked(index) ? QVariant(kMarkColour) : QVariant();
        case Qt::TextAlignmentRole: return AlignmentOf(grid_.ColumnAlignment(col));
        default: return {};
    }
}

QVariant GridTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (section < 0) return {};
    if (orientation == Qt::Horizontal) {
        if (section >= columnCount()) return {};
        if (role == Qt::DisplayRole) return CellString(grid_, 0, GridCol(section));
        if (role == Qt::TextAlignmentRole) return AlignmentOf(grid_.ColumnAlignment(GridCol(section)));
        return {};
    }
    if (section >= rowCount()) return {};
    if (role == Qt::DisplayRole) return CellString(grid_, GridRow(section), 0);
    if (role == Qt::TextAlignmentRole) return AlignmentOf(grid_.ColumnAlignment(0));
    return {};
}

Qt::ItemFlags GridTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void GridTableModel::Refresh() {
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                     {Qt::DisplayRole});
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
}

void GridTableModel::RowsChanged(int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, grid_.Rows() - 1);
    if (first > last) return;
    if (first == 0) emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    const int top = std::max(first, 1) - 1;  // view rows
    const int bottom = last - 1;
    if (top > bottom) return;
    emit dataChanged(index(top, 0), index(bottom, columnCount() - 1), {Qt::DisplayRole});
    emit headerDataChanged(Qt::Vertical, top, bottom);
}

int GridTableModel::AddressOf(const QModelIndex& index) {
    if (!index.isValid()) return -1;
    const int row = GridRow(index.row());
    const int col = GridCol(index.column());
    const auto* model = qobject_cast<const GridTableModel*>(index.model());
    if (!model || row < 1 || row > model->MemorySize() / 16) return -1;
    int offset = -1;
    if (col >= 1 && col <= 16) offset = col - 1;
    if (col >= 18 && col <= 33) offset = col - 18;
    return offset < 0 ? -1 : (row - 1) * 16 + offset;
}

void GridTableModel::SetMarks(const std::vector<int>& addresses) {
    marks_.assign(static_cast<size_t>(MemorySize()), false);
    markCount_ = 0;
    for (int a : addresses) {
        if (a < 0 || a >= MemorySize() || marks_[static_cast<size_t>(a)]) continue;
        marks_[static_cast<size_t>(a)] = true;
        ++markCount_;
    }
    Refresh();
}

void GridTableModel::ClearMarks() {
    if (markCount_ == 0) return;
    marks_.clear();
    markCount_ = 0;
    Refresh();
}

void GridTableModel::Reshape(const std::function<void()>& change) {
    beginResetModel();
    change();
    marks_.clear();
    markCount_ = 0;
    endResetModel();
}

bool IsControlCharacter(const QString& text) {
    if (text.size() != 1) return false;
    const char16_t c = text.at(0).unicode();
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

}  // namespace lpt::ui
