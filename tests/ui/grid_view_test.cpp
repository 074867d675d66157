// The grid's view: the adapter over the dump grid, the font, the control-character placeholder,
// the columns laid out round the grey bar, the header row and label column staying in view, and
// repaints limited to the rows that changed and are in view.
#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTest>

#include "operations/operations.h"
#include "support/paint_log.h"
#include "support/window_rig.h"
#include "ui/dump_view.h"
#include "ui/grid_table_model.h"

using lpt::testing::PaintLog;
using lpt::testing::WindowRig;
using lpt::ui::DumpCellDelegate;

namespace {

// How much ink the delegate puts down for a cell, black on white.
int Ink(const DumpCellDelegate& delegate, const QModelIndex& index) {
    QImage image(24, 18, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.rect = image.rect();
        option.state = QStyle::State_Enabled;
        option.palette.setColor(QPalette::Text, Qt::black);
        delegate.paint(&painter, option, index);
    }
    int ink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) ink += 255 - qGray(image.pixel(x, y));
    return ink;
}


}  // namespace

class GridViewTest : public QObject {
    Q_OBJECT
private slots:
    void modelPassesTheItemModelTester();
    void modelShowsCellsHeadersAndAlignments();
    void controlCharactersArePlaceholdersButStayRawInTheCell();
    void fontAndColumnWidths();
    void barStandsOnTheSeparatorColumnOnly();
    void headersStayInViewWhileScrolling();
    void paintsOnlyChangedRowsInView();
};

void GridViewTest::modelPassesTheItemModelTester() {
    lpt::DumpGrid grid;
    lpt::ui::GridTableModel model(grid);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    lpt::WriteCursor cursor;
    for (int i = 0; i < 300; ++i) lpt::PlaceByte(grid, cursor, i & 0xFF);
    model.Refresh();
    grid.Clear();
    model.Refresh();
    QCOMPARE(model.rowCount(), 135);
    QCOMPARE(model.columnCount(), 33);
    QCOMPARE(model.rowCount(model.index(0, 0)), 0);
}

void GridViewTest::modelShowsCellsHeadersAndAlignments() {
    lpt::DumpGrid grid;
    lpt::ui::GridTableModel model(grid);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    grid.SetCellText(5, 3, "7E");
    grid.SetCellText(6, 0, "50");
    model.Refresh();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(model.data(model.index(4, 2)).toString(), QStringLiteral("7E"));
    QCOMPARE(model.headerData(5, Qt::Vertical).toString(), QStringLiteral("50"));
    QCOMPARE(model.headerData(15, Qt::Horizontal).toString(), QStringLiteral(" F"));
    QCOMPARE(model.headerData(16, Qt::Horizontal).toString(), QStringLiteral(" "));
    QCOMPARE(model.headerData(32, Qt::Horizontal).toString(), QStringLiteral("F"));
    const auto centre = Qt::Alignment(Qt::AlignHCenter | Qt::AlignVCenter);
    QCOMPARE(model.data(model.index(0, 0), Qt::TextAlignmentRole).value<Qt::Alignment>(), centre);
    QCOMPARE(model.data(model.index(0, 20), Qt::TextAlignmentRole).value<Qt::Alignment>(), centre);
    QCOMPARE(model.headerData(3, Qt::Vertical, Qt::TextAlignmentRole).value<Qt::Alignment>(),
             Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
}

void GridViewTest::controlCharactersArePlaceholdersButStayRawInTheCell() {
    lpt::DumpGrid grid;
    lpt::ui::GridTableModel model(grid);
    lpt::WriteCursor cursor;
    for (int b : {0x00, 0x0A, 0x1F, 0x41, 0x7F, 0x98, 0xC0, 0xB7}) lpt::PlaceByte(grid, cursor, b);
    const QString nul = model.data(model.index(0, 17)).toString();
    QCOMPARE(nul.size(), 1);
    QCOMPARE(nul.at(0).unicode(), char16_t{0});  // the cell keeps the raw NUL
    auto shown = [&](int col) { return DumpCellDelegate::LookOf(model.index(0, col)).text; };
    QCOMPARE(shown(17), DumpCellDelegate::kPlaceholder);
    QCOMPARE(shown(18), DumpCellDelegate::kPlaceholder);
    QCOMPARE(shown(19), DumpCellDelegate::kPlaceholder);
    QCOMPARE(shown(20), QStringLiteral("A"));
    QCOMPARE(shown(21), DumpCellDelegate::kPlaceholder);
    QCOMPARE(shown(22), DumpCellDelegate::kPlaceholder);
    QCOMPARE(shown(23), QStringLiteral("А"));
    // The real middle dot 0xB7 shows as itself, at full strength; the placeholder is dimmed,
    // but drawn.
    QCOMPARE(shown(24), DumpCellDelegate::kPlaceholder);
    QVERIFY(DumpCellDelegate::LookOf(model.index(0, 17)).dimmed);
    QVERIFY(!DumpCellDelegate::LookOf(model.index(0, 24)).dimmed);
    DumpCellDelegate delegate;
    delegate.SetFont(QApplication::font());
    const int placeholderInk = Ink(delegate, model.index(0, 17));
    QVERIFY(placeholderInk > 0);
    QVERIFY(placeholderInk < Ink(delegate, model.index(0, 24)));
    QCOMPARE(shown(0), QStringLiteral("0"));  // hex cells are never replaced
    QCOMPARE(Ink(delegate, model.index(0, 16)), 0);  // nor is anything drawn in the separator
}

void GridViewTest::fontAndColumnWidths() {
    WindowRig rig;
    rig.LoadAndShow();
    auto* view = rig.Get<QTableView>("MSFlexGrid1");
    const QFontInfo info(view->font());
    QVERIFY(info.fixedPitch());
    QCOMPARE(view->font().pointSizeF(), 8.25);
    QVERIFY(QFontMetrics(view->font()).inFont(QChar(0x0416)));  // Ж: the font has Cyrillic
    const int hexWidth = view->horizontalHeader()->sectionSize(0);
    const int charWidth = view->horizontalHeader()->sectionSize(17);
    QCOMPARE(view->horizontalHeader()->sectionSize(15), hexWidth);
    QCOMPARE(view->horizontalHeader()->sectionSize(32), charWidth);
    const QFontMetrics metrics(view->font());
    // Two characters against one, with the same margin.
    QCOMPARE(hexWidth - charWidth,
             metrics.horizontalAdvance(QStringLiteral("00")) - metrics.horizontalAdvance(QStringLiteral("0")));
    // The label column shows three-digit labels whole.
    QVERIFY(view->verticalHeader()->width() >= metrics.horizontalAdvance(QStringLiteral("800")) + 4);
    QVERIFY(view->editTriggers() == QAbstractItemView::NoEditTriggers);
}

void GridViewTest::barStandsOnTheSeparatorColumnOnly() {
    WindowRig rig;
    rig.LoadAndShow();
    auto* view = rig.Get<QTableView>("MSFlexGrid1");
    auto* bar = rig.Get<QFrame>("Frame1");
    const QRect barInView(view->mapFrom(rig.form.get(), bar->pos()), bar->size());
    QVERIFY(barInView.top() < view->horizontalHeader()->geometry().bottom());  // over the headers
    const QPoint body = view->viewport()->pos();
    const QHeaderView* header = view->horizontalHeader();
    for (int col = 0; col < view->model()->columnCount(); ++col) {
        const QRect cell = view->visualRect(view->model()->index(0, col)).translated(body);
        const QRect heading(header->x() + header->sectionViewportPosition(col), header->y(),
                            header->sectionSize(col), header->height());
        const bool separator = col == 16;
        QVERIFY2(cell.intersects(barInView) == separator, qPrintable(QString::number(col)));
        QVERIFY2(heading.intersects(barInView) == separator, qPrintable(QString::number(col)));
    }
    // The labels show whole, and the columns fit the view without a horizontal scroll.
    QVERIFY(view->verticalHeader()->width() >=
            QFontMetrics(view->font()).horizontalAdvance(QStringLiteral("800")) + 4);
    QVERIFY(!view->horizontalScrollBar()->isVisible());
}

void GridViewTest::headersStayInViewWhileScrolling() {
    WindowRig rig;
    rig.LoadAndShow();
    rig.Button("Command1")->click();
    auto* view = rig.Get<QTableView>("MSFlexGrid1");
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    QApplication::processEvents();
    QVERIFY(view->rowAt(0) > 100);  // the body scrolled far down
    QVERIFY(view->horizontalHeader()->isVisible());
    QCOMPARE(view->horizontalHeader()->geometry().top(), view->frameWidth());
    QVERIFY(view->verticalHeader()->isVisible());
    const int firstVisible = view->rowAt(0);
    QCOMPARE(view->verticalHeader()->logicalIndexAt(0), firstVisible);
    QCOMPARE(view->model()->headerData(firstVisible, Qt::Vertical).toString(),
             QString::fromStdString(lpt::HexForm(16 * firstVisible)));
}

void GridViewTest::paintsOnlyChangedRowsInView() {
    WindowRig rig;
    rig.LoadAndShow();
    auto* view = qobject_cast<lpt::ui::DumpView*>(rig.Get<QTableView>("MSFlexGrid1"));
    QVERIFY(view);
    QApplication::processEvents();
    PaintLog body, labels;
    view->viewport()->installEventFilter(&body);
    view->verticalHeader()->viewport()->installEventFilter(&labels);
    auto& grid = rig.form->Grid();
    const int lastInView = view->rowAt(view->viewport()->height() - 1);
    grid.SetCellText(lastInView + 10, 3, "AB");  // out of view: nothing to paint
    view->PaintChanges();
    QVERIFY(body.regions.empty());
    QVERIFY(labels.regions.empty());
    grid.SetCellText(3, 5, "CD");  // view row 2
    grid.SetCellText(3, 0, "20");
    view->PaintChanges();
    QVERIFY(!body.regions.empty());
    QCOMPARE(body.Union().boundingRect(), QRect(0, view->rowViewportPosition(2),
                                                view->viewport()->width(), view->rowHeight(2)));
    QVERIFY(!labels.regions.empty());
    QCOMPARE(labels.Union().boundingRect().top(), view->rowViewportPosition(2));
    const size_t paints = body.regions.size();
    view->PaintChanges();  // nothing changed since
    QCOMPARE(body.regions.size(), paints);
    view->viewport()->removeEventFilter(&body);
    view->verticalHeader()->viewport()->removeEventFilter(&labels);
}

QTEST_MAIN(GridViewTest)
#include "grid_view_test.moc"
