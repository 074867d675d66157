#include "ui/dump_view.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <cmath>

#include "ui/grid_table_model.h"
#include "ui/twips.h"

namespace lpt::ui {

namespace {

// Space around a column's widest text: what the original widths were made of.
constexpr int kMargin = 6;
// The least of it a hex column keeps when a wide font has to be squeezed in before the bar.
constexpr int kLeastMargin = 2;
// Space before a left-aligned text.
constexpr int kTextIndent = 3;
// The widest label of a grid: the one below its last row of bytes, the memory's size in hex
// ("800" for 2 KB, "40000" for 256 KB), as PlaceByte writes it. Never narrower than the 2 KB
// memory's, so the small parts keep the 24c16's look.
QString WidestLabel(const DumpGrid& grid) {
    const long size = static_cast<long>(grid.Rows() - DumpGrid::RowsFor(0)) * 16;
    const QString label = QString::fromStdString(HexForm(size));
    return label.size() < 3 ? QStringLiteral("800") : label;
}

// The grid's font: Lucida Console 8.25 pt, or else a monospaced family that has Cyrillic.
QFont GridFont() {
    QFont font(QStringLiteral("Lucida Console"));
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Normal);
    font.setStyleHint(QFont::TypeWriter);
    const QFontInfo info(font);
    if (info.family().compare(QStringLiteral("Lucida Console"), Qt::CaseInsensitive) == 0)
        return font;
    const QStringList preferred = {QStringLiteral("DejaVu Sans Mono"),
                                   QStringLiteral("Liberation Mono"),
                                   QStringLiteral("Noto Sans Mono")};
    const QStringList cyrillic = QFontDatabase::families(QFontDatabase::Cyrillic);
    for (const QString& family : preferred) {
        if (cyrillic.contains(family)) {
            font.setFamily(family);
            return font;
        }
    }
    for (const QString& family : cyrillic) {
        if (QFontDatabase::isFixedPitch(family)) {
            font.setFamily(family);
            return font;
        }
    }
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSizeF(8.25);
    return fixed;
}

bool IsCharacterColumn(int viewColumn) {
    return GridTableModel::GridCol(viewColumn) > DumpGrid::kCols / 2;
}

QString Utf8(const std::string& s) {
    // Explicit size: a NUL byte is a character of the cell, not its end.
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

// ---- the cell painter ------------------------------------------------------------------------

const QString DumpCellDelegate::kPlaceholder = QStringLiteral("\u00B7");

DumpCellDelegate::Look DumpCellDelegate::LookOf(const QModelIndex& index) {
    const auto* model = qobject_cast<const GridTableModel*>(index.model());
    if (!model) return {};
    const QString raw = Utf8(model->CellText(index));
    if (IsCharacterColumn(index.column()) && IsControlCharacter(raw)) return {kPlaceholder, true};
    return {raw, false};
}

void DumpCellDelegate::SetFont(const QFont& font) {
    font_ = font;
    plain_.clear();
    characters_.clear();
    // Every text a read can put into a cell, laid out and its glyphs drawn once now rather
    // than in the first paints of a read, which hold the bus.
    QImage scratch(32, 32, QImage::Format_RGB32);
    QPainter painter(&scratch);
    painter.setFont(font_);
    for (int byte = 0; byte <= 255; ++byte) {
        const std::string character = CharForm(static_cast<std::uint8_t>(byte));
        painter.drawStaticText(QPointF(), Prepare(HexForm(byte), false).text);
        painter.drawStaticText(QPointF(), Prepare(character, true).text);
    }
}

const DumpCellDelegate::Prepared& DumpCellDelegate::Prepare(const std::string& utf8,
                                                            bool characterColumn) const {
    auto& table = characterColumn ? characters_ : plain_;
    const auto found = table.find(utf8);
    if (found != table.end()) return found->second;
    QString shown = Utf8(utf8);
    Prepared prepared;
    if (characterColumn && IsControlCharacter(shown)) {
        shown = kPlaceholder;
        prepared.dimmed = true;
    }
    prepared.text.setText(shown);
    prepared.text.setTextFormat(Qt::PlainText);  // "<" is a character, not markup
    prepared.text.setPerformanceHint(QStaticText::AggressiveCaching);
    prepared.text.prepare(QTransform(), font_);
    const QFontMetricsF metrics(font_);
    prepared.size = QSizeF(metrics.horizontalAdvance(shown), metrics.height());
    return table.emplace(utf8, std::move(prepared)).first->second;
}

void DumpCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const auto* model = static_cast<const GridTableModel*>(index.model());
    const bool selected = option.state & QStyle::State_Selected;
    if (selected)
        painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
    else if (model->IsMarked(index))
        painter->fillRect(option.rect, GridTableModel::kMarkColour);
    const std::string& raw = model->CellText(index);
    if (!raw.empty()) {
        const Prepared& cell = Prepare(raw, IsCharacterColumn(index.column()));
        QColor colour = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        if (cell.dimmed) colour.setAlphaF(kDimmedAlpha);
        painter->setPen(colour);
        if (painter->font() != font_) painter->setFont(font_);
        const QRect& r = option.rect;
        const bool centred = model->Grid().ColumnAlignment(GridTableModel::GridCol(
                                 index.column())) == Alignment::Centre;
        const qreal x = centred ? r.left() + (r.width() - cell.size.width()) / 2
                                : r.left() + kTextIndent;
        const qreal y = r.top() + (r.height() - cell.size.height()) / 2;
        painter->drawStaticText(QPointF(std::round(x), std::round(y)), cell.text);
    }
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item;
        focus.backgroundColor =
            option.palette.color(selected ? QPalette::Highlight : QPalette::Base);
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : nullptr;
        if (style) style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
}

QSize DumpCellDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const {
    const QFontMetrics metrics(font_);
    return QSize(metrics.horizontalAdvance(LookOf(index).text) + kMargin, metrics.height() + 2);
}

// ---- the view --------------------------------------------------------------------------------

void DumpView::RowRange::Add(int from, int to) {
    first = std::min(first, from);
    last = std::max(last, to);
}

DumpView::DumpView(const DumpGrid& grid, QWidget* parent) : QTableView(parent) {
    model_ = new GridTableModel(grid, this);
    setModel(model_);
    delegate_ = new DumpCellDelegate(this);
    setItemDelegate(delegate_);
    SetUpLook();
}

void DumpView::SetUpLook() {
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setCornerButtonEnabled(false);
    QHeaderView* columns = horizontalHeader();
    QHeaderView* rows = verticalHeader();
    for (QHeaderView* header : {columns, rows}) {
        header->setTextElideMode(Qt::ElideNone);
        header->setHighlightSections(false);
        header->setSectionResizeMode(QHeaderView::Fixed);
        header->setMinimumSectionSize(1);
    }
    rows->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    // The found font at its size, or smaller if its columns would not fit before the bar.
    QFont font = GridFont();
    while (!LayOutColumns(font) && font.pointSizeF() > 5.0)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    setFont(font);
    columns->setFont(font);
    rows->setFont(font);
    delegate_->SetFont(font);
    const QFontMetrics metrics(font);
    rows->setDefaultSectionSize(metrics.height() + 2);
    columns->setFixedHeight(metrics.height() + 4);
}

bool DumpView::LayOutColumns(const QFont& font) {
    const DumpGrid& grid = model_->Grid();
    const QFontMetrics metrics(font);
    auto textWidth = [&](int col) {
        return metrics.horizontalAdvance(QString(grid.ColumnWidthChars(col), QLatin1Char('0')));
    };
    constexpr int kHex = 1, kSeparator = DumpGrid::kCols / 2;
    // The separator column spans the bar with clearance on each side, centred on it; every
    // column before it is counted from the view's left edge, so the label column takes up
    // what is left over in front of the hex columns.
    const int barLeft = TwipsToPixels(kBarLeftTwips);
    const int barWidth = TwipsToPixels(kBarWidthTwips);
    const int separator = std::max(textWidth(kSeparator) + kMargin, barWidth + 2 * kBarClearance);
    const int separatorLeft = barLeft - (separator - barWidth) / 2;
    const int room = separatorLeft - frameWidth();
    const int label =
        std::max(textWidth(0), metrics.horizontalAdvance(WidestLabel(grid))) + kMargin;
    const int least = textWidth(kHex) + kLeastMargin;
    const int hex = std::max(least, std::min(textWidth(kHex) + kMargin, (room - label) / 16));

    verticalHeader()->setFixedWidth(std::max(label, room - 16 * hex));
    QHeaderView* columns = horizontalHeader();
    for (int c = 1; c < DumpGrid::kCols; ++c) {
        columns->resizeSection(c - 1, c < kSeparator    ? hex
                                      : c == kSeparator ? separator
                                                        : textWidth(c) + kMargin);
    }
    return label + 16 * hex <= room;
}

QRect DumpView::BarGeometry(int heightTwips) const {
    return QRect(pos() + QPoint(TwipsToPixels(kBarLeftTwips), TwipsToPixels(kBarTopTwips)),
                 QSize(TwipsToPixels(kBarWidthTwips), TwipsToPixels(heightTwips)));
}

void DumpView::NoteChange(int row) {
    if (row < 0) {
        const int last = model_->Grid().Rows() - 1;
        unpainted_.Add(0, last);
        unpublished_.Add(0, last);
    } else {
        unpainted_.Add(row, row);
        unpublished_.Add(row, row);
    }
    if (isVisible() && std::chrono::steady_clock::now() - lastPaint_ >= kPaintInterval)
        PaintChanges();
}

QRect DumpView::RowsInView(const RowRange& rows) const {
    const int top = std::max(rows.first, 1) - 1;  // view rows
    const int bottom = std::min(rows.last, model_->Grid().Rows() - 1) - 1;
    if (top > bottom) return {};
    const int y0 = std::max(rowViewportPosition(top), 0);
    const int y1 = std::min(rowViewportPosition(bottom) + rowHeight(bottom), viewport()->height());
    if (y0 >= y1) return {};
    return QRect(0, y0, viewport()->width(), y1 - y0);
}

void DumpView::PaintChanges() {
    const RowRange rows = unpainted_;
    unpainted_ = RowRange();
    lastPaint_ = std::chrono::steady_clock::now();
    if (rows.Empty() || !isVisible()) return;
    // The labels of the rows lie beside them in the vertical header, which scrolls with the
    // body; the header row changes only when the whole grid does. The headers are marked and
    // the body repainted: the one synchronous paint takes in everything marked.
    const QRect body = RowsInView(rows);
    if (rows.first == 0) horizontalHeader()->viewport()->update();
    if (body.isEmpty()) {
        if (rows.first == 0) horizontalHeader()->viewport()->repaint();
        return;
    }
    QWidget* labels = verticalHeader()->viewport();
    labels->update(QRect(0, body.top(), labels->width(), body.height()));
    // Straight away, without processing any event: input that arrives during a read waits
    // until the read has ended.
    viewport()->repaint(body);
}

void DumpView::Reshape() {
    unpainted_ = RowRange();
    unpublished_ = RowRange();
    LayOutColumns(font());
    viewport()->update();
}

void DumpView::PublishChanges() {
    const RowRange rows = unpublished_;
    unpublished_ = RowRange();
    if (!rows.Empty()) model_->RowsChanged(rows.first, rows.last);
}

}  // namespace lpt::ui
