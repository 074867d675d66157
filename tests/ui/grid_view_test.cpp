// The grid's view: the adapter over the dump grid, the font, the control-character placeholder
// and the header row and label column staying in view.
#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTest>

#include "operations/operations.h"
#include "support/window_rig.h"
#include "ui/grid_table_model.h"

using lpt::testing::WindowRig;

namespace {

// Exposes the delegate's style option for a cell.
class DelegateProbe : public lpt::ui::ControlCharDelegate {
public:
    using ControlCharDelegate::ControlCharDelegate;
    QStyleOptionViewItem OptionFor(const QModelIndex& index) const {
        QStyleOptionViewItem option;
        initStyleOption(&option, index);
        return option;
    }
};

}  // namespace

class GridViewTest : public QObject {
    Q_OBJECT
private slots:
    void modelPassesTheItemModelTester();
    void modelShowsCellsHeadersAndAlignments();
    void controlCharactersArePlaceholdersButStayRawInTheCell();
    void fontAndColumnWidths();
    void headersStayInViewWhileScrolling();
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
    DelegateProbe delegate;
    lpt::WriteCursor cursor;
    for (int b : {0x00, 0x0A, 0x1F, 0x41, 0x7F, 0x98, 0xC0, 0xB7}) lpt::PlaceByte(grid, cursor, b);
    const QString nul = model.data(model.index(0, 17)).toString();
    QCOMPARE(nul.size(), 1);
    QCOMPARE(nul.at(0).unicode(), char16_t{0});  // the cell keeps the raw NUL
    auto shown = [&](int col) { return delegate.OptionFor(model.index(0, col)).text; };
    QCOMPARE(shown(17), lpt::ui::ControlCharDelegate::kPlaceholder);
    QCOMPARE(shown(18), lpt::ui::ControlCharDelegate::kPlaceholder);
    QCOMPARE(shown(19), lpt::ui::ControlCharDelegate::kPlaceholder);
    QCOMPARE(shown(20), QStringLiteral("A"));
    QCOMPARE(shown(21), lpt::ui::ControlCharDelegate::kPlaceholder);
    QCOMPARE(shown(22), lpt::ui::ControlCharDelegate::kPlaceholder);
    QCOMPARE(shown(23), QStringLiteral("А"));
    // The real middle dot 0xB7 shows as itself, at full strength; the placeholder is dimmed.
    const QStyleOptionViewItem dot = delegate.OptionFor(model.index(0, 24));
    const QStyleOptionViewItem ctl = delegate.OptionFor(model.index(0, 17));
    QCOMPARE(dot.text, lpt::ui::ControlCharDelegate::kPlaceholder);
    QVERIFY(ctl.palette.color(QPalette::Text).alphaF() < dot.palette.color(QPalette::Text).alphaF());
    QCOMPARE(shown(0), QStringLiteral("0"));  // hex cells are never replaced
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

QTEST_MAIN(GridViewTest)
#include "grid_view_test.moc"
