// The window itself: controls, tab order, layout rule, load and unload, the clear command and
// the failure boundary.
#include <QHeaderView>
#include <QMoveEvent>
#include <QSignalSpy>
#include <QTimer>
#include <QTest>

#include <algorithm>
#include <cerrno>

#include "bus/ppdev_port.h"
#include "operations/operations.h"
#include "support/costly_port.h"
#include "support/fake_ppdev_system.h"
#include "support/paint_log.h"
#include "support/window_rig.h"
#include "ui/grid_table_model.h"

using lpt::testing::WindowRig;

class Form1Test : public QObject {
    Q_OBJECT
private slots:
    void controlsAtStart();
    void tabWalk();
    void layoutRule_data();
    void layoutRule();
    void layoutRuleFollowsRealResizes();
    void layoutRuleRunsAgainOnceTheFrameIsKnown();
    void loadAndUnloadPortCalls();
    void clearCommand();
    void blockReadClickFillsTheView();
    void portFailingAtLoadShowsAMessageAndALaterClickRetries();
    void portFailingMidReadEndsTheReadAndKeepsTheWindowUsable();
    void realPortOnAMachineWithoutAParallelPort();
    void aSlowReadRepaintsTheGridAsItGoesWithoutHandlingEvents();
    void aPortCardAt0xd010ReadsTheMemoryWhenNamed();
};

namespace {

// A system with no parallel port at all, or one whose port at 0x378 is held by another driver
// (the exclusive claim refused with ENXIO), as the ppdev port sees them.
std::shared_ptr<lpt::testing::FakeSystem> NoPortSystem(bool busy) {
    auto system = std::make_shared<lpt::testing::FakeSystem>();
    system->dirs.clear();
    if (busy) {
        system->AddPort("parport0", "888\t1912\n");
        for (unsigned long request : {PPEXCL, PPCLAIM}) system->ioctlError[request] = ENXIO;
    } else {
        system->openError = ENOENT;
    }
    return system;
}


}  // namespace

void Form1Test::controlsAtStart() {
    WindowRig rig;
    rig.LoadAndShow();
    QCOMPARE(rig.Caption(), QStringLiteral("Form1"));
    QCOMPARE(rig.Text(), QString());
    QCOMPARE(rig.form->size(), QSize(594, 391));  // 8910 x 5865 twips

    struct Expect {
        const char* name;
        QString caption;
        QRect twips;
    };
    const Expect buttons[] = {
        {"Command1", QStringLiteral("Чтение блоками"), {90, 90, 1635, 330}},
        {"Command4", QStringLiteral("Чтение пабайтно"), {1755, 90, 1725, 330}},
        {"Command7", QStringLiteral("Поиск"), {3510, 90, 1545, 330}},
        {"Command2", QStringLiteral("Запись блоками"), {90, 450, 1635, 330}},
        {"Command3", QStringLiteral("Запись пабайтно"), {1755, 450, 1725, 330}},
        {"Command8", QStringLiteral("CLS"), {3510, 450, 1545, 330}},
    };
    auto px = [](QRect t) { return QRect(t.x() / 15, t.y() / 15, t.width() / 15, t.height() / 15); };
    for (const Expect& e : buttons) {
        QPushButton* b = rig.Button(e.name);
        QVERIFY2(b, e.name);
        QCOMPARE(b->text(), e.caption);
        QCOMPARE(b->geometry(), px(e.twips));
        QVERIFY(b->isEnabled());
        QVERIFY(!b->isDefault());
        QVERIFY(!b->autoDefault());
    }
    QVERIFY(rig.form->isEnabled());
    auto* text = rig.Get<QPlainTextEdit>("Text4");
    QCOMPARE(text->pos(), QPoint(5175 / 15, 90 / 15));
    QCOMPARE(text->height(), 645 / 15);
    auto* grid = rig.Get<QTableView>("MSFlexGrid1");
    QCOMPARE(grid->pos(), QPoint(90 / 15, 855 / 15));
    QCOMPARE(grid->width(), 8745 / 15);
    auto* bar = rig.Get<QFrame>("Frame1");
    QCOMPARE(bar->pos(), QPoint(5265 / 15, 990 / 15));
    QCOMPARE(bar->width(), 105 / 15);
    QCOMPARE(bar->palette().color(QPalette::Window), QColor(192, 192, 192));
    QVERIFY(bar->autoFillBackground());
    QCOMPARE(bar->focusPolicy(), Qt::NoFocus);
    // The bar is drawn above the grid: it comes later among the window's children.
    const auto children = rig.form->children();
    QVERIFY(children.indexOf(bar) > children.indexOf(grid));
    // The grid shows only its header row.
    QCOMPARE(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral(" 0"));
    QCOMPARE(grid->model()->headerData(17, Qt::Horizontal).toString(), QStringLiteral("0"));
    QCOMPARE(grid->model()->data(grid->model()->index(0, 0)).toString(), QString());
    QCOMPARE(rig.beeps, 0);
    QVERIFY(rig.messages.empty());
}

void Form1Test::tabWalk() {
    WindowRig rig;
    rig.LoadAndShow();
    rig.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig.form.get()));
    QCOMPARE(QApplication::focusWidget(), rig.Button("Command7"));
    const char* walk[] = {"Command8", "Text4",    "Command1", "MSFlexGrid1",
                          "Command2", "Command3", "Command4", "Command7"};
    for (const char* name : walk) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY2(QApplication::focusWidget(), name);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(name));
    }
}

void Form1Test::layoutRule_data() {
    QTest::addColumn<float>("width");
    QTest::addColumn<float>("height");
    QTest::addColumn<int>("text");  // expected widths and heights in pixels; -1: unchanged
    QTest::addColumn<int>("grid");
    QTest::addColumn<int>("bar");
    QTest::newRow("laid out") << 9150.f << 6480.f << 240 << 332 << 325;
    QTest::newRow("larger") << 15000.f << 12000.f << 630 << 700 << 693;
    QTest::newRow("narrow: text box refused") << 4500.f << 6480.f << -1 << 332 << 325;
    QTest::newRow("width exactly 5550") << 5550.f << 6480.f << 0 << 332 << 325;
    QTest::newRow("height 1500: grid 0") << 9150.f << 1500.f << 240 << 0 << -1;
    QTest::newRow("height 1590: bar refused") << 9150.f << 1590.f << 240 << 6 << -1;
    QTest::newRow("height 1600: bar 0") << 9150.f << 1600.f << 240 << 7 << 0;
    QTest::newRow("tiny: everything refused") << 100.f << 100.f << -1 << -1 << -1;
}

void Form1Test::layoutRule() {
    QFETCH(float, width);
    QFETCH(float, height);
    QFETCH(int, text);
    QFETCH(int, grid);
    QFETCH(int, bar);
    WindowRig rig;
    rig.LoadAndShow();
    auto* t = rig.Get<QPlainTextEdit>("Text4");
    auto* g = rig.Get<QTableView>("MSFlexGrid1");
    auto* b = rig.Get<QFrame>("Frame1");
    // Known sizes first, so "unchanged" means something.
    rig.form->ApplyLayout(7000.f, 4000.f);
    const QSize t0 = t->size(), g0 = g->size(), b0 = b->size();
    QCOMPARE(t0.width(), 97);
    rig.form->ApplyLayout(width, height);
    QCOMPARE(t->width(), text < 0 ? t0.width() : text);
    QCOMPARE(g->height(), grid < 0 ? g0.height() : grid);
    QCOMPARE(b->height(), bar < 0 ? b0.height() : bar);
    // Nothing else moves.
    QCOMPARE(t->height(), 645 / 15);
    QCOMPARE(t->pos(), QPoint(345, 6));
    QCOMPARE(g->width(), 583);
    QCOMPARE(g->pos(), QPoint(6, 57));
    QCOMPARE(b->width(), 7);
    QCOMPARE(rig.Button("Command1")->geometry(), QRect(6, 6, 109, 22));
}

void Form1Test::layoutRuleFollowsRealResizes() {
    WindowRig rig;
    rig.LoadAndShow();
    for (QSize size : {QSize(700, 500), QSize(450, 300), QSize(800, 420)}) {
        rig.form->resize(size);
        QApplication::processEvents();
        const QRect outer = rig.form->frameGeometry();
        QCOMPARE(rig.Get<QPlainTextEdit>("Text4")->width(), outer.width() - 370);
        QCOMPARE(rig.Get<QTableView>("MSFlexGrid1")->height(), outer.height() - 100);
        QCOMPARE(rig.Get<QFrame>("Frame1")->height(),
                 static_cast<int>(std::lround((outer.height() * 15 - 1600) / 15.0)));
    }
}

void Form1Test::layoutRuleRunsAgainOnceTheFrameIsKnown() {
    // A window manager frames the window only after it is shown, and the inner size stays as
    // it was: the frame shows up as a move of the inner area, or as a state or activation
    // change, with no resize.
    WindowRig rig;
    QSize frame(0, 0);
    rig.form->SetOuterSizeSource([&] { return rig.form->size() + frame; });
    rig.LoadAndShow();
    auto* grid = rig.Get<QTableView>("MSFlexGrid1");
    auto* text = rig.Get<QPlainTextEdit>("Text4");
    const QSize inner = rig.form->size();
    QCOMPARE(grid->height(), inner.height() - 100);
    const QPoint from = rig.form->pos();
    QMoveEvent moved(from + QPoint(4, 27), from);
    QEvent stateChanged(QEvent::WindowStateChange), activated(QEvent::ActivationChange);
    int titleBar = 20;
    for (QEvent* arrival : {static_cast<QEvent*>(&moved), &stateChanged, &activated}) {
        frame = QSize(8, titleBar += 5);
        QApplication::sendEvent(rig.form.get(), arrival);
        QCOMPARE(rig.form->size(), inner);
        QCOMPARE(grid->height(), inner.height() + titleBar - 100);
        QCOMPARE(text->width(), inner.width() + 8 - 370);
        QCOMPARE(rig.Get<QFrame>("Frame1")->height(),
                 static_cast<int>(std::lround(((inner.height() + titleBar) * 15 - 1600) / 15.0)));
    }
}

void Form1Test::loadAndUnloadPortCalls() {
    WindowRig rig;
    QVERIFY(rig.port.Calls().empty());  // nothing touches the port before the load
    rig.form->Load();
    using Op = lpt::sim::PortCall::Op;
    auto calls = rig.port.Calls();
    QCOMPARE(calls.size(), size_t{2});
    QVERIFY(calls[0].op == Op::Set && calls[0].port == 888 && calls[0].bit == 0);
    QVERIFY(calls[1].op == Op::Set && calls[1].port == 890 && calls[1].bit == 2);
    rig.form->show();
    QApplication::processEvents();
    QCOMPARE(rig.port.Calls().size(), size_t{2});  // showing and laying out touch no port

    // Leave SDA low, as after an interrupted transaction: the unload then makes a stop.
    rig.form->Bus().SetSDA(lpt::kFalse);
    rig.port.ClearCalls();
    QVERIFY(rig.form->close());
    calls = rig.port.Calls();
    QCOMPARE(calls.size(), size_t{2});
    QVERIFY(calls[0].op == Op::Set && calls[0].port == 890 && calls[0].bit == 2);
    QVERIFY(calls[1].op == Op::Set && calls[1].port == 888 && calls[1].bit == 0);
    QVERIFY(rig.port.Sda() && rig.port.Scl());
    QVERIFY(rig.form->Unloaded());
    QVERIFY(rig.messages.empty());
}

void Form1Test::clearCommand() {
    WindowRig rig;
    rig.LoadAndShow();
    rig.Button("Command7")->click();  // a scan puts text in the box and sets the caption
    rig.Button("Command1")->click();
    QCOMPARE(rig.beeps, 1);
    QVERIFY(!rig.Text().isEmpty());
    rig.Button("Command8")->click();
    QCOMPARE(rig.Text(), QString());
    QCOMPARE(rig.Caption(), QStringLiteral("254"));
    QCOMPARE(rig.beeps, 1);
    auto& grid = rig.form->Grid();
    for (int r = 0; r < lpt::DumpGrid::kRows; ++r)
        for (int c = 0; c < lpt::DumpGrid::kCols; ++c) QVERIFY(grid.CellText(r, c).empty());
    QCOMPARE(rig.form->GridModel().headerData(0, Qt::Horizontal).toString(), QString());
    // A second clear changes nothing and does not beep either.
    rig.Button("Command8")->click();
    QCOMPARE(rig.beeps, 1);
    QCOMPARE(rig.Caption(), QStringLiteral("254"));
    // A read refills the data rows, never the header row.
    rig.Button("Command1")->click();
    QCOMPARE(grid.CellText(1, 1), lpt::HexForm(rig.eeprom.Memory()[0]));
    QVERIFY(grid.CellText(0, 1).empty());
    QVERIFY(grid.CellText(1, 0).empty());
    QVERIFY(rig.port.Calls().size() > 0);
}

void Form1Test::blockReadClickFillsTheView() {
    WindowRig rig;
    rig.LoadAndShow();
    QTest::mouseClick(rig.Button("Command1"), Qt::LeftButton);
    QCOMPARE(rig.beeps, 1);
    QVERIFY(rig.messages.empty());
    const QAbstractItemModel* model = rig.Get<QTableView>("MSFlexGrid1")->model();
    for (int a = 0; a < 2048; ++a) {
        const auto byte = rig.eeprom.Memory()[a];
        const QModelIndex hex = model->index(a / 16, a % 16);
        QCOMPARE(model->data(hex).toString(), QString::fromStdString(lpt::HexForm(byte)));
        const QModelIndex chr = model->index(a / 16, a % 16 + 17);
        QCOMPARE(model->data(chr).toString().size(), 1);
        QCOMPARE(static_cast<char32_t>(model->data(chr).toString().at(0).unicode()),
                 lpt::Cp1251ToUnicode(byte));
    }
    QCOMPARE(model->headerData(127, Qt::Vertical).toString(), QStringLiteral("7F0"));
    QCOMPARE(model->headerData(128, Qt::Vertical).toString(), QStringLiteral("800"));
    QCOMPARE(model->headerData(0, Qt::Vertical).toString(), QString());
    QCOMPARE(rig.Decode().transactions.size(), size_t{8});
}

void Form1Test::portFailingAtLoadShowsAMessageAndALaterClickRetries() {
    WindowRig rig;
    rig.port.FailAfter(0, "Нет параллельного порта по адресу 0x378. Загрузите модуль ppdev.");
    rig.form->Load();
    QVERIFY(rig.messages.empty());  // not before the window is on screen
    rig.form->show();
    QTRY_COMPARE(rig.messages.size(), size_t{1});
    QCOMPARE(rig.messages[0].icon, QMessageBox::Critical);
    QVERIFY(rig.messages[0].text.contains(QStringLiteral("0x378")));
    QVERIFY(rig.messages[0].text.contains(QStringLiteral("ppdev")));
    QVERIFY(rig.form->isEnabled());
    // Still failing: the click shows the message again and the window stays usable.
    rig.Button("Command1")->click();
    QCOMPARE(rig.messages.size(), size_t{2});
    QVERIFY(rig.messages[1].text.contains(QStringLiteral("Чтение блоками")));
    QCOMPARE(rig.beeps, 0);
    // The port comes back: the next click works.
    rig.port.ClearFailure();
    rig.Button("Command1")->click();
    QCOMPARE(rig.messages.size(), size_t{2});
    QCOMPARE(rig.beeps, 1);
    QCOMPARE(rig.form->Grid().CellText(1, 1), lpt::HexForm(rig.eeprom.Memory()[0]));
}

void Form1Test::portFailingMidReadEndsTheReadAndKeepsTheWindowUsable() {
    WindowRig rig;
    rig.LoadAndShow();
    rig.port.FailAfter(20000, "Порт отключён.");
    rig.Button("Command1")->click();
    QCOMPARE(rig.messages.size(), size_t{1});
    QVERIFY(rig.messages[0].text.contains(QStringLiteral("Порт отключён.")));
    QCOMPARE(rig.beeps, 0);
    QVERIFY(!rig.form->Grid().CellText(1, 1).empty());  // what was read before stays
    for (const char* name : {"Command1", "Command2", "Command3", "Command4", "Command7", "Command8"})
        QVERIFY(rig.Button(name)->isEnabled());
    QVERIFY(rig.form->isEnabled());
}

void Form1Test::realPortOnAMachineWithoutAParallelPort() {
    for (bool busy : {false, true}) {
        const auto system = NoPortSystem(busy);
        std::vector<lpt::testing::Message> messages;
        {
            lpt::PpdevPort port(system);
            lpt::ui::Form1 form(port);
            form.SetMessageSink([&](QMessageBox::Icon icon, const QString& title, const QString& text) {
                messages.push_back({icon, title, text});
            });
            form.SetBeepSink([] { QFAIL("nothing may beep without a port"); });
            form.Load();
            form.show();
            QTRY_COMPARE(messages.size(), size_t{1});
            // The message names the cause and the remedy.
            if (busy) {
                QVERIFY2(messages[0].text.contains(QStringLiteral("lp")), qPrintable(messages[0].text));
                QVERIFY(messages[0].text.contains(QStringLiteral("/dev/parport0")));
            } else {
                QVERIFY2(messages[0].text.contains(QStringLiteral("ppdev")), qPrintable(messages[0].text));
                QVERIFY(messages[0].text.contains(QStringLiteral("parport_pc")));
            }
            // Every button tries the port again and reports again; the window stays usable.
            for (const char* name : {"Command1", "Command4", "Command7", "Command2", "Command3"})
                form.findChild<QPushButton*>(QString::fromLatin1(name))->click();
            QCOMPARE(messages.size(), size_t{6});
            QVERIFY(form.isEnabled());
            for (const char* name : {"Command1", "Command2", "Command3", "Command4", "Command7"})
                QVERIFY(form.findChild<QPushButton*>(QString::fromLatin1(name))->isEnabled());
            QVERIFY(form.close());  // the close is never refused, even when the port is not there
            QCOMPARE(messages.size(), size_t{6});  // and does not nag about it once more
        }
        // Every failed open let go of the device again.
        if (busy)
            QVERIFY(std::count_if(system->log.begin(), system->log.end(), [](const std::string& e) {
                        return e.rfind("close ", 0) == 0;
                    }) >= 6);
    }
}

void Form1Test::aPortCardAt0xd010ReadsTheMemoryWhenNamed() {
    // The machine's only port is a card at 0xd010, its pins wired to the simulated memory.
    lpt::testing::SimBus bus(true, [](int a) { return static_cast<std::uint8_t>(a * 7 + 3); });
    const auto system = std::make_shared<lpt::testing::FakeSystem>();
    system->AddPort("parport0", "53264\t53248\n");
    system->wired = &bus.port;
    lpt::PpdevPort port(*lpt::ParsePortChoice("0xd010"), system);
    lpt::ui::Form1 form(port);
    std::vector<QString> messages;
    form.SetMessageSink([&](QMessageBox::Icon, const QString&, const QString& text) {
        messages.push_back(text);
    });
    form.SetBeepSink([] {});
    form.Load();
    form.show();
    form.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    QVERIFY(messages.empty());
    QCOMPARE(system->log.front(), std::string("open /dev/parport0 rw"));
    for (int a = 0; a < 2048; ++a)
        QCOMPARE(form.Grid().CellText(a / 16 + 1, a % 16 + 1), lpt::HexForm(bus.eeprom.Memory()[a]));
}

void Form1Test::aSlowReadRepaintsTheGridAsItGoesWithoutHandlingEvents() {
    WindowRig rig;
    lpt::testing::CostlyPort slow(rig.port, std::chrono::microseconds(2));
    lpt::ui::Form1 form(slow);
    int beeps = 0;
    bool timerFired = false, timerFiredBeforeBeep = false;
    form.SetBeepSink([&] {
        ++beeps;
        timerFiredBeforeBeep = timerFired;
    });
    form.SetMessageSink([](QMessageBox::Icon, const QString&, const QString& text) {
        QFAIL(qPrintable(text));
    });
    form.Load();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    lpt::testing::PaintLog counter;
    auto* view = form.findChild<QTableView*>(QStringLiteral("MSFlexGrid1"));
    view->viewport()->installEventFilter(&counter);
    QTimer::singleShot(0, [&] { timerFired = true; });  // pending before the click
    const auto t0 = std::chrono::steady_clock::now();
    form.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    const auto took = std::chrono::steady_clock::now() - t0;
    QCOMPARE(beeps, 1);
    QVERIFY2(!timerFiredBeforeBeep, "a read must not handle pending events");
    QVERIFY(!timerFired);
    // At most about 30 paints a second, plus the one at the end; and more than one in all.
    const int allowed = 2 + int(std::chrono::duration_cast<std::chrono::milliseconds>(took).count() / 30);
    QVERIFY2(counter.Paints() >= 2, qPrintable(QString::number(counter.Paints())));
    QVERIFY2(counter.Paints() <= allowed, qPrintable(QString::number(counter.Paints())));
    QCOMPARE(form.Grid().CellText(128, 16), lpt::HexForm(rig.eeprom.Memory()[2047]));
    QTRY_VERIFY(timerFired);
    form.close();
}

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
