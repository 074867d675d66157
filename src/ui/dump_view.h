// The dump grid on screen: a table view whose header row and label column stay in view while
// the body scrolls. It owns everything that makes the dump look right and cost little to show:
// the grid font, the column widths (laid out so that the grey bar standing over the grid falls
// on the empty separator column, whatever font was found), a cell painter that draws each cell
// as one piece of text laid out once, and the throttled repaint that lets a user watch a read
// fill the grid without the paints holding the bus.
#pragma once

#include <QAbstractItemDelegate>
#include <QFont>
#include <QStaticText>
#include <QTableView>

#include <chrono>
#include <limits>
#include <string>
#include <unordered_map>

#include "operations/dump_grid.h"

namespace lpt::ui {

class GridTableModel;

// Draws a dump cell: its text, centred or left-aligned as its column says, with QPainter's
// static-text path. Each distinct text is laid out the first time it is drawn and kept (a dump
// has a few hundred distinct texts), so painting a cell costs a lookup and a glyph run, not a
// text layout. A control character in a character column is drawn as a dimmed placeholder; the
// cell itself keeps the raw character.
class DumpCellDelegate : public QAbstractItemDelegate {
    Q_OBJECT
public:
    static const QString kPlaceholder;
    // Strength of the placeholder against ordinary text.
    static constexpr float kDimmedAlpha = 0.35f;

    // What a cell of a GridTableModel shows.
    struct Look {
        QString text;
        bool dimmed = false;
    };
    static Look LookOf(const QModelIndex& index);

    explicit DumpCellDelegate(QObject* parent = nullptr) : QAbstractItemDelegate(parent) {}

    // The font the cells are drawn in: the view's. Forgets every text laid out before.
    void SetFont(const QFont& font);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    struct Prepared {
        QStaticText text;
        QSizeF size;
        bool dimmed = false;
    };
    const Prepared& Prepare(const std::string& utf8, bool characterColumn) const;

    QFont font_;
    // Laid-out texts by their UTF-8 form, one table per column kind (a control character is
    // replaced only in the character columns).
    mutable std::unordered_map<std::string, Prepared> plain_;
    mutable std::unordered_map<std::string, Prepared> characters_;
};

class DumpView : public QTableView {
    Q_OBJECT
public:
    // The grey bar over the grid, in twips from the grid's top-left corner: its left edge, top
    // and width are fixed; its height follows the window.
    static constexpr int kBarLeftTwips = 5175;
    static constexpr int kBarTopTwips = 135;
    static constexpr int kBarWidthTwips = 105;
    // Free space kept on each side of the bar inside the separator column, in pixels.
    static constexpr int kBarClearance = 3;
    // Paints while a read runs come at most this often: about 30 a second.
    static constexpr std::chrono::milliseconds kPaintInterval{33};

    explicit DumpView(const DumpGrid& grid, QWidget* parent = nullptr);

    GridTableModel& Model() const { return *model_; }
    // Where the bar goes, in the parent's coordinates, `heightTwips` high.
    QRect BarGeometry(int heightTwips) const;

    // A cell of grid row `row` changed, or every cell (row -1). Paints what changed and is in
    // view if the last paint is at least kPaintInterval ago; otherwise that waits.
    void NoteChange(int row);
    // Paints now, synchronously and without processing any event, the rows changed since the
    // last paint that are in view; nothing when none are.
    void PaintChanges();
    // Tells the model's other observers which rows changed since the last call. Qt then
    // schedules its own repaint of them, which happens when events are next processed.
    void PublishChanges();
    // After the grid got another number of rows: the label column takes the widest address of
    // the new size, and nothing painted or published before is pending any more.
    void Reshape();

private:
    // A range of grid rows; empty when first > last.
    struct RowRange {
        int first = std::numeric_limits<int>::max();
        int last = -1;
        bool Empty() const { return first > last; }
        void Add(int from, int to);
    };

    void SetUpLook();
    // Sets the column widths for the font; false when its hex columns do not fit before the
    // bar even with the least margins (the bar then covers part of them).
    bool LayOutColumns(const QFont& font);
    // The part of the viewport the given rows cover, clipped to it; empty when none is in view.
    QRect RowsInView(const RowRange& rows) const;

    GridTableModel* model_ = nullptr;
    DumpCellDelegate* delegate_ = nullptr;
    RowRange unpainted_;
    RowRange unpublished_;
    std::chrono::steady_clock::time_point lastPaint_{};
};

}  // namespace lpt::ui
