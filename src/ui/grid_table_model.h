// Shows the dump grid in a QTableView. Row 0 of the grid becomes the view's horizontal header
// and column 0 its vertical header, so the header row and the address labels stay in view while
// the body scrolls; the body is rows 1 to 135 and columns 1 to 33.
#pragma once

#include <QAbstractTableModel>
#include <QColor>

#include <functional>
#include <string>
#include <vector>

#include "operations/dump_grid.h"
#include "operations/memory_bus.h"

namespace lpt::ui {

class GridTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridTableModel(const DumpGrid& grid, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Runs `change`, which gives the grid another number of rows, as a reset of the model; the
    // marks go.
    void Reshape(const std::function<void()>& change);

    // Tells the views that cells changed since the last call (the whole grid, cheaply).
    void Refresh();
    // Tells the views that grid rows `first` to `last` changed, labels included (row 0 is the
    // header row).
    void RowsChanged(int first, int last);

    // The grid cell behind a view position.
    static int GridRow(int viewRow) { return viewRow + 1; }
    static int GridCol(int viewCol) { return viewCol + 1; }
    // The raw UTF-8 text of a body cell, without going through QVariant: what a painter needs.
    const std::string& CellText(const QModelIndex& index) const {
        return grid_.CellText(GridRow(index.row()), GridCol(index.column()));
    }
    const DumpGrid& Grid() const { return grid_; }

    // The memory address a body cell shows (its hex or its character cell), or -1 for the
    // separator column and the rows below the dump (an index of this model).
    static int AddressOf(const QModelIndex& index);

    // Cells marked as differing from a file, by memory address; drawn on kMarkColour until the
    // marks are cleared (the next read, CLS).
    static inline const QColor kMarkColour{255, 205, 150};
    void SetMarks(const std::vector<int>& addresses);
    void ClearMarks();
    bool IsMarked(const QModelIndex& index) const {
        if (markCount_ == 0) return false;
        const int a = AddressOf(index);
        return a >= 0 && static_cast<size_t>(a) < marks_.size() && marks_[static_cast<size_t>(a)];
    }
    int MarkCount() const { return markCount_; }

private:
    // The bytes of the memory the grid has rows for.
    int MemorySize() const { return (grid_.Rows() - DumpGrid::RowsFor(0)) * 16; }

    const DumpGrid& grid_;
    std::vector<bool> marks_;  // by address; empty when nothing is marked
    int markCount_ = 0;
};

// True for the characters a dump cell shows as a placeholder: C0 controls, DEL and C1 controls.
bool IsControlCharacter(const QString& text);

}  // namespace lpt::ui
