// The window on another chip than the 24c16: the grid's size and labels, the "Микросхема" menu
// and the remembered choice, the buttons' geometry, and detect offering the part it found.
#include <QActionGroup>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include "support/paint_log.h"
#include "support/window_rig.h"
#include "ui/chip_settings.h"
#include "ui/dump_view.h"
#include "ui/grid_table_model.h"

using lpt::ChipChoice;
using lpt::ChooseChip;
using lpt::DumpGrid;
using lpt::testing::PaintLog;
using lpt::testing::WindowRig;

namespace {

QAction* Entry(WindowRig& rig, const char* chip) {
    return rig.Get<QAction>((std::string("actionChip_") + chip).c_str());
}

// The window's settings in a folder of the test's own, never the user's.
struct TestSettings {
    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("lpt-eeprom.conf")), QSettings::IniFormat};
};

}  // namespace

class ChipWindowTest : public QObject {
    Q_OBJECT
private slots:
    void blockReadOfASmallChipFillsItsRowsOnly();
    void largestChipGridHasItsRowsLabelsAndPaintsOnlyWhatIsInView();
    void menuListsEveryChipAndRemembersTheChoice();
    void chipCannotChangeWhileAWriteRuns();
    void writesUseTheChipsPagesAndReadBackItsBytes();
    void detectOffersThePartItFound();
};

void ChipWindowTest::blockReadOfASmallChipFillsItsRowsOnly() {
    const ChipChoice chip = ChooseChip("24c02");
    WindowRig rig(true, chip);
    rig.form->SetChip(chip);
    rig.LoadAndShow();
    const DumpGrid& grid = rig.form->Grid();
    QCOMPARE(grid.Rows(), DumpGrid::RowsFor(256));
    QCOMPARE(rig.form->GridModel().rowCount(), DumpGrid::RowsFor(256) - 1);
    rig.Button("Command1")->click();
    QVERIFY(rig.messages.empty());
    for (int a = 0; a < 256; ++a)
        QCOMPARE(grid.CellText(1 + a / 16, 1 + a % 16), lpt::HexForm(WindowRig::Filled(a)));
    QCOMPARE(grid.CellText(16, 0), std::string("F0"));
    for (int r = 17; r < grid.Rows(); ++r)
        for (int c = 1; c < DumpGrid::kCols; ++c) QVERIFY(grid.CellText(r, c).empty());
    QVERIFY(rig.form->LastRead());
    QCOMPARE(rig.form->LastRead()->size(), size_t{256});
    QCOMPARE(rig.Stops(), size_t{1});  // the whole 256 bytes in one sequential read
}

void ChipWindowTest::largestChipGridHasItsRowsLabelsAndPaintsOnlyWhatIsInView() {
    WindowRig rig;
    rig.form->SetChip(ChooseChip("24cm02"));
    rig.LoadAndShow();
    lpt::DumpGrid& grid = rig.form->Grid();
    QCOMPARE(grid.Rows(), 16392);
    auto* view = qobject_cast<lpt::ui::DumpView*>(rig.Get<QTableView>("MSFlexGrid1"));
    QVERIFY(view);
    QCOMPARE(view->model()->rowCount(), 16391);
    // The labels as the reads write them, for the whole memory.
    lpt::WriteCursor cursor;
    for (int a = 0; a < 256 * 1024; ++a) lpt::PlaceByte(grid, cursor, a & 0xFF);
    view->PublishChanges();
    QCOMPARE(view->model()->headerData(16383, Qt::Vertical).toString(), QStringLiteral("3FFF0"));
    QCOMPARE(view->model()->headerData(16384, Qt::Vertical).toString(), QStringLiteral("40000"));
    const QFontMetrics metrics(view->font());
    QVERIFY(view->verticalHeader()->width() >=
            metrics.horizontalAdvance(QStringLiteral("40000")) + 4);
    // The hex columns still end before the bar: no horizontal scroll.
    QVERIFY(!view->horizontalScrollBar()->isVisible());

    // Scrolled to the end, a change in the last rows is painted, and one far above is not.
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    QApplication::processEvents();
    QVERIFY(view->rowAt(0) > 16300);
    view->PaintChanges();  // what the labels above left to paint
    PaintLog body;
    view->viewport()->installEventFilter(&body);
    grid.SetCellText(100, 3, "AB");
    view->PaintChanges();
    QVERIFY(body.regions.empty());
    grid.SetCellText(16384, 5, "CD");  // view row 16383
    view->PaintChanges();
    QVERIFY(!body.regions.empty());
    QCOMPARE(body.Union().boundingRect().top(), view->rowViewportPosition(16383));
    view->viewport()->removeEventFilter(&body);
}

void ChipWindowTest::menuListsEveryChipAndRemembersTheChoice() {
    TestSettings stored;
    WindowRig rig;
    rig.form->RememberChipsIn(&stored.settings);
    rig.LoadAndShow();
    auto* menu = rig.Get<QMenu>("menuChip");
    QVERIFY(menu);
    QVERIFY(rig.Get<QTableView>("MSFlexGrid1")->actions().contains(menu->menuAction()));
    QStringList listed, checked;
    for (QAction* a : menu->actions()) {
        if (!a->isCheckable()) continue;
        listed << a->text();
        if (a->isChecked()) checked << a->text();
    }
    QStringList names;
    for (const lpt::Chip& chip : lpt::Chips()) names << QString::fromLatin1(chip.name);
    QCOMPARE(listed, names);
    QCOMPARE(checked, QStringList{QStringLiteral("24c16")});
    QVERIFY(Entry(rig, "24c16")->actionGroup()->isExclusive());

    // A read is on the grid; choosing a chip forgets it and gives the grid the chip's rows.
    rig.Button("Command1")->click();
    QVERIFY(rig.form->LastRead());
    Entry(rig, "24c64")->trigger();
    QCOMPARE(rig.form->Chip().Part().name, std::string("24c64"));
    QVERIFY(Entry(rig, "24c64")->isChecked() && !Entry(rig, "24c16")->isChecked());
    QVERIFY(!rig.form->LastRead());
    QCOMPARE(rig.form->Grid().Rows(), DumpGrid::RowsFor(8192));
    QVERIFY(rig.form->Grid().CellText(1, 1).empty());
    QCOMPARE(stored.settings.value("chip").toString(), QStringLiteral("24c64"));

    // The next run starts with it; a chip given on the command line wins and is not stored.
    QCOMPARE(lpt::ui::StartChip(std::nullopt, stored.settings), ChooseChip("24c64"));
    WindowRig next;
    next.form->RememberChipsIn(&stored.settings);
    next.form->SetChip(lpt::ui::StartChip(ChooseChip("24c02", 16), stored.settings));
    QCOMPARE(next.form->Chip(), ChooseChip("24c02", 16));
    QVERIFY(Entry(next, "24c02")->isChecked());
    QCOMPARE(stored.settings.value("chip").toString(), QStringLiteral("24c64"));
    // A name the table no longer knows is forgotten.
    stored.settings.setValue("chip", "24c99");
    QCOMPARE(lpt::ui::StartChip(std::nullopt, stored.settings), ChipChoice{});
}

void ChipWindowTest::chipCannotChangeWhileAWriteRuns() {
    WindowRig rig;
    rig.LoadAndShow();
    bool tried = true, entryEnabled = true, detectEnabled = true;
    rig.form->SetPauseIdle([&](lpt::TimeNs) {
        if (tried) return;
        tried = true;
        entryEnabled = Entry(rig, "24c02")->isEnabled();
        detectEnabled = rig.Get<QAction>("actionDetect")->isEnabled();
        rig.form->ChooseChipFromMenu(lpt::FindChip("24c02"));
    });
    rig.Button("Command1")->click();
    QVERIFY(rig.form->LastRead());
    tried = false;
    rig.Button("Command3")->click();  // the pattern write: its pauses process events
    QVERIFY(tried);
    QVERIFY(rig.form->LastRead());  // the refusal leaves the grid and the read alone
    QVERIFY(!entryEnabled);
    QVERIFY(!detectEnabled);
    QCOMPARE(rig.form->Chip(), ChipChoice{});
    QVERIFY(Entry(rig, "24c16")->isChecked() && !Entry(rig, "24c02")->isChecked());
    QVERIFY(Entry(rig, "24c02")->isEnabled());  // again once the write is over
    QVERIFY(rig.messages.empty());
}

void ChipWindowTest::writesUseTheChipsPagesAndReadBackItsBytes() {
    const ChipChoice chip = ChooseChip("24c02");
    for (const char* button : {"Command2", "Command3"}) {
        WindowRig rig(true, chip);
        rig.form->SetChip(chip);
        rig.LoadAndShow();
        rig.Button(button)->click();
        QVERIFY2(rig.messages.empty(), button);
        const std::vector<std::string>& all = rig.Decode().transactions;
        const bool fill = std::string(button) == "Command2";
        // Page writes of 8 bytes (device, word address, 8 data bytes), or one byte each.
        const size_t writes = fill ? 256 / 8 : 256;
        const size_t bytesPerWrite = fill ? 8 : 1;
        QCOMPARE(rig.Stops(), writes + 1);
        for (size_t i = 0; i < writes; ++i) {
            const std::string& t = all.at(all.size() - writes - 1 + i);
            QVERIFY2(static_cast<size_t>(std::count(t.begin(), t.end(), '+')) ==
                         2 + bytesPerWrite,
                     t.c_str());
        }
        // The read-back: one sequential read of all 256 bytes, the last not acknowledged.
        const std::string& readBack = all.back();
        QVERIFY(readBack.find("Sr A1+") != std::string::npos);
        QCOMPARE(std::count(readBack.begin(), readBack.end(), '+'), 3 + 255L);
        for (int a = 0; a < 256; ++a)
            QCOMPARE(int(rig.eeprom.Memory()[a]), fill ? 0xFF : a);
    }
}

void ChipWindowTest::detectOffersThePartItFound() {
    WindowRig rig(true, ChooseChip("24c64"));
    TestSettings stored;
    rig.form->RememberChipsIn(&stored.settings);
    QStringList questions;
    bool answer = false;
    rig.form->SetFileDialogs({{}, [&](const QString&, const QString& text) {
                                  questions << text;
                                  return answer;
                              }});
    rig.LoadAndShow();
    auto* detect = rig.Get<QAction>("actionDetect");
    QVERIFY(detect);
    detect->trigger();  // declined: the chip stays
    QCOMPARE(questions.size(), 1);
    QVERIFY(questions[0].contains(QStringLiteral("точно: ")));
    QVERIFY(questions[0].contains(QStringLiteral("24c64")));
    QCOMPARE(rig.form->Chip(), ChipChoice{});
    answer = true;
    detect->trigger();
    QCOMPARE(questions.size(), 2);
    QCOMPARE(rig.form->Chip(), ChooseChip("24c64"));
    QVERIFY(Entry(rig, "24c64")->isChecked());
    QCOMPARE(stored.settings.value("chip").toString(), QStringLiteral("24c64"));
    QVERIFY(rig.messages.empty());
    // Asked again with the part chosen: the findings alone, no question.
    detect->trigger();
    QCOMPARE(questions.size(), 2);
    QCOMPARE(rig.messages.size(), size_t{1});
    QVERIFY(rig.messages[0].text.contains(QStringLiteral("уже выбрана")));
}

QTEST_MAIN(ChipWindowTest)
#include "chip_window_test.moc"
