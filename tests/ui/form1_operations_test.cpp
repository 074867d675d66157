// The operations as the window runs them: reads, scan, writes, pauses with clicks inside them,
// closing inside a pause, warnings when the memory does not answer, and a click storm.
#include <QHeaderView>
#include <QTest>
#include <QTimer>

#include <random>

#include <csignal>

#include "operations/operations.h"
#include "support/window_rig.h"
#include "ui/quit_signals.h"

using lpt::testing::WindowRig;

namespace {

// Runs `action` once, at the first turn of the event loop at which `when` holds.
void AtTurn(QObject* context, std::function<bool()> when, std::function<void()> action) {
    auto* timer = new QTimer(context);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, context, [timer, when, action] {
        if (!when()) return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start();
}

size_t Transactions(WindowRig& rig) { return rig.Stops(); }

// A click on `button` that reaches the window while a write's read-back runs: posted (press and
// release, queued as input is while no events are processed) at the first start condition on
// the wire after `stops` stops, the read-back's.
class ClickDuringReadBack : public lpt::sim::BusDevice {
public:
    ClickDuringReadBack(WindowRig& rig, QPushButton* button, size_t stops)
        : rig_(rig), button_(button), stops_(stops) {
        rig_.port.Attach(*this);
    }
    ~ClickDuringReadBack() override { rig_.port.Detach(*this); }
    void OnLines(bool scl, bool sda) override {
        const bool start = scl && scl_ && sda_ && !sda;
        scl_ = scl;
        sda_ = sda;
        if (!start || posted || rig_.Stops() != stops_) return;
        posted = true;
        const QPointF at = QRectF(button_->rect()).center();
        for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            const Qt::MouseButtons held =
                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
            QCoreApplication::postEvent(button_, new QMouseEvent(type, at, button_->mapToGlobal(at),
                                                                 Qt::LeftButton, held, {}));
        }
    }
    bool SdaOut() const override { return true; }
    bool posted = false;

private:
    WindowRig& rig_;
    QPushButton* button_;
    size_t stops_;
    bool scl_ = true, sda_ = true;
};

// What the window shows (text box, caption) at each stop condition on the wire.
class ShownAtStops : public lpt::sim::BusDevice {
public:
    explicit ShownAtStops(WindowRig& rig) : rig_(rig) { rig_.port.Attach(*this); }
    ~ShownAtStops() override { rig_.port.Detach(*this); }
    void OnLines(bool scl, bool sda) override {
        const bool stop = scl && scl_ && !sda_ && sda;
        scl_ = scl;
        sda_ = sda;
        if (stop) shown.push_back({rig_.Text(), rig_.Caption()});
    }
    bool SdaOut() const override { return true; }
    std::vector<std::pair<QString, QString>> shown;

private:
    WindowRig& rig_;
    bool scl_ = true, sda_ = true;
};

using Events = QStringList;
// What the window disables for each write and enables again, in the same order, then the beep.
const Events kFillEvents = {"disable Form1", "disable Command2", "enable Form1",
                            "enable Command2", "beep"};
const Events kPatternEvents = {"disable Command3", "enable Command3", "beep"};

}  // namespace

class Form1OperationsTest : public QObject {
    Q_OBJECT
private slots:
    void byteReadAndScanButtons();
    void readsBeepOnceAfterTheirLastStopAndDisableNothing();
    void scanShowsAnAnswerBeforeItsStopAndCountsAfterIt();
    void scanWithASecondDeviceAndAnEmptyBus();
    void fillDisablesTheWholeWindowAndClicksHaveNoEffect();
    void clicksDuringAWritesReadBackAreDropped();
    void fillClickedDuringAPatternPauseRunsInsideIt();
    void blockReadClickedDuringAPatternPauseShowsThePatternSoFar();
    void closingDuringAPatternWriteStopsItCleanly();
    void closingDuringTheFillWaitsForTheFillToEnd();
    void aFillInsideAPatternPauseFinishesBeforeTheCloseEndsThePattern();
    void failureMidWriteLeavesEverythingEnabled();
    void noMemoryWarnsOncePerOperationAfterTheBeep();
    void memoryPresentAndIdleNeverWarns();
    void slowMemoryMakesTheWritesWarn();
    void nestedWarningIsShownWhenTheNestedOperationEnds();
    void clickStorm();
    void aClickQueuedBehindTheCloseNeverReachesTheBus();
    void sigtermClosesAtThePauseLikeTheCloseButton();
    void unloadLeavesAPortThatNeverOpenedAlone();
    void aStuckBusIsOneMessageAndNothingElse();
};

void Form1OperationsTest::byteReadAndScanButtons() {
    WindowRig rig;
    rig.LoadAndShow();
    QTest::mouseClick(rig.Button("Command4"), Qt::LeftButton);
    QCOMPARE(rig.beeps, 1);
    QCOMPARE(Transactions(rig), size_t{2048});
    QCOMPARE(rig.form->Grid().CellText(84, 13), lpt::HexForm(rig.eeprom.Memory()[0x53C]));
    QTest::mouseClick(rig.Button("Command7"), Qt::LeftButton);
    QCOMPARE(rig.Text(), QStringLiteral("A0 A2 A4 A6 A8 AA AC AE "));
    QCOMPARE(rig.Caption(), QStringLiteral("254"));
    QCOMPARE(rig.beeps, 1);  // the scan does not beep
    QTest::mouseClick(rig.Button("Command7"), Qt::LeftButton);
    QCOMPARE(rig.Text(), QStringLiteral("A0 A2 A4 A6 A8 AA AC AE A0 A2 A4 A6 A8 AA AC AE "));
    QVERIFY(rig.messages.empty());
    QCOMPARE(rig.events, Events{"beep"});  // the scans disable nothing and do not beep
}

void Form1OperationsTest::readsBeepOnceAfterTheirLastStopAndDisableNothing() {
    WindowRig rig;
    rig.LoadAndShow();
    size_t callsAtBeep = 0;
    rig.onBeep = [&] { callsAtBeep = rig.port.Calls().size(); };
    for (const char* name : {"Command1", "Command4", "Command1"}) {
        rig.Button(name)->click();
        QVERIFY2(callsAtBeep > 0, name);
        QCOMPARE(callsAtBeep, rig.port.Calls().size());  // the beep follows the last stop
        callsAtBeep = 0;
    }
    QCOMPARE(rig.events, (Events{"beep", "beep", "beep"}));
}

void Form1OperationsTest::scanShowsAnAnswerBeforeItsStopAndCountsAfterIt() {
    WindowRig rig;
    rig.LoadAndShow();
    ShownAtStops at(rig);
    rig.Button("Command7")->click();
    QCOMPARE(at.shown.size(), size_t{128});
    QCOMPARE(at.shown[0], (std::pair{QString(), QStringLiteral("Form1")}));
    // At the stop of each probe that hit, its answer is in the box and the caption still shows
    // the probe before: A0 is the 81st, A2 the 82nd.
    QCOMPARE(at.shown[80], (std::pair{QStringLiteral("A0 "), QStringLiteral("158")}));
    QCOMPARE(at.shown[81], (std::pair{QStringLiteral("A0 A2 "), QStringLiteral("160")}));
    QCOMPARE(rig.Caption(), QStringLiteral("254"));
}

void Form1OperationsTest::scanWithASecondDeviceAndAnEmptyBus() {
    {
        WindowRig rig;
        lpt::sim::SimResponder other{0x00, 0x0E};
        rig.port.Attach(other);
        rig.LoadAndShow();
        rig.Button("Command7")->click();
        QCOMPARE(rig.Text(), QStringLiteral("0 E A0 A2 A4 A6 A8 AA AC AE "));
        rig.port.Detach(other);
    }
    {
        WindowRig rig(false);
        rig.LoadAndShow();
        rig.Button("Command7")->click();
        QCOMPARE(rig.Text(), QString());
        QCOMPARE(rig.Caption(), QStringLiteral("254"));
        QVERIFY(rig.messages.empty());  // no answer is the scan's normal result
        // What the box held stays.
        rig.Get<QPlainTextEdit>("Text4")->setPlainText(QStringLiteral("earlier "));
        rig.Button("Command7")->click();
        QCOMPARE(rig.Text(), QStringLiteral("earlier "));
    }
}

void Form1OperationsTest::fillDisablesTheWholeWindowAndClicksHaveNoEffect() {
    WindowRig rig;
    rig.LoadAndShow();
    int turns = 0;
    bool sawDisabled = true;
    auto* timer = new QTimer(rig.form.get());
    timer->setInterval(0);
    connect(timer, &QTimer::timeout, [&] {
        ++turns;
        sawDisabled = sawDisabled && !rig.form->isEnabled() && !rig.Button("Command2")->isEnabled();
        for (const char* name : {"Command1", "Command4", "Command7", "Command8", "Command3"})
            QTest::mouseClick(rig.Button(name), Qt::LeftButton);
    });
    const auto before = rig.eeprom.Memory();
    timer->start();
    rig.Button("Command2")->click();
    timer->stop();
    QApplication::processEvents();
    QVERIFY(turns > 0);
    QVERIFY(sawDisabled);
    QCOMPARE(Transactions(rig), size_t{16 + 1});  // nothing but the fill and its read-back
    QCOMPARE(rig.beeps, 1);
    QVERIFY(rig.form->isEnabled());
    QVERIFY(rig.Button("Command2")->isEnabled());
    QVERIFY(rig.Text().isEmpty());
    for (int a = 0; a < 2048; ++a) QCOMPARE(int(rig.eeprom.Memory()[a]), a < 256 ? 0xFF : int(before[a]));
    // The window, then the fill's button; enabled again in the same order before the beep.
    QCOMPARE(rig.events, kFillEvents);
}

void Form1OperationsTest::clicksDuringAWritesReadBackAreDropped() {
    // The fill's read-back runs with the whole window disabled, the pattern's with its own button
    // disabled, neither processing events: a click made then must not act once they are enabled
    // (a block read after the fill, a second pattern write).
    const struct {
        const char* write;
        const char* clicked;
        size_t writes;
    } cases[] = {{"Command2", "Command1", 16}, {"Command3", "Command3", 256}};
    for (const auto& c : cases) {
        WindowRig rig;
        rig.LoadAndShow();
        ClickDuringReadBack click(rig, rig.Button(c.clicked), c.writes);
        rig.Button(c.write)->click();
        QApplication::processEvents();
        QApplication::processEvents();
        QVERIFY2(click.posted, c.write);
        QCOMPARE(Transactions(rig), c.writes + 1);  // the writes and the read-back, nothing after
        QCOMPARE(rig.beeps, 1);
        QVERIFY(rig.form->isEnabled() && rig.Button(c.write)->isEnabled());
        QCOMPARE(rig.events, c.writes == 16 ? kFillEvents : kPatternEvents);
        // The window takes clicks again.
        QTest::mouseClick(rig.Button("Command1"), Qt::LeftButton);
        QCOMPARE(Transactions(rig), c.writes + 1 + 8);
    }
}

void Form1OperationsTest::fillClickedDuringAPatternPauseRunsInsideIt() {
    WindowRig rig;
    rig.LoadAndShow();
    const size_t reached = 60;
    bool command3DisabledAfterFill = false;
    AtTurn(rig.form.get(), [&] { return Transactions(rig) == reached + 1; }, [&] {
        QTest::mouseClick(rig.Button("Command2"), Qt::LeftButton);
        command3DisabledAfterFill = !rig.Button("Command3")->isEnabled() && rig.form->isEnabled();
    });
    rig.Button("Command3")->click();
    QVERIFY(command3DisabledAfterFill);
    QVERIFY(rig.Button("Command3")->isEnabled());
    QCOMPARE(rig.beeps, 2);
    // Command3 stays disabled until the pattern write itself ends; the fill handles only its own.
    const Events expected = {"disable Command3", "disable Form1", "disable Command2",
                             "enable Form1",     "enable Command2", "beep",
                             "enable Command3",  "beep"};
    QCOMPARE(rig.events, expected);
    QVERIFY(rig.messages.empty());
    const auto trace = rig.Decode();
    QVERIFY(trace.faults.empty());
    QCOMPARE(trace.transactions.size(), size_t{256 + 16 + 2});  // and each write's read-back
    for (int a = 0; a < 256; ++a) QCOMPARE(int(rig.eeprom.Memory()[a]), a <= int(reached) ? 0xFF : a);
}

void Form1OperationsTest::blockReadClickedDuringAPatternPauseShowsThePatternSoFar() {
    WindowRig rig;
    rig.LoadAndShow();
    const auto before = rig.eeprom.Memory();
    AtTurn(rig.form.get(), [&] { return Transactions(rig) == 128; },
           [&] { QTest::mouseClick(rig.Button("Command1"), Qt::LeftButton); });
    rig.Button("Command3")->click();
    for (int a = 0; a < 256; ++a)
        QCOMPARE(rig.form->Grid().CellText(a / 16 + 1, a % 16 + 1),
                 lpt::HexForm(a < 128 ? a : before[a]));
    QVERIFY(rig.messages.empty());
    QCOMPARE(rig.beeps, 2);
}

void Form1OperationsTest::closingDuringAPatternWriteStopsItCleanly() {
    WindowRig rig;
    rig.LoadAndShow();
    size_t atClose = 0;
    AtTurn(rig.form.get(), [&] { return Transactions(rig) == 10; }, [&] {
        atClose = Transactions(rig);
        rig.form->close();
    });
    rig.Button("Command3")->click();
    QCOMPARE(atClose, size_t{10});
    QCOMPARE(Transactions(rig), size_t{10});  // no transaction after the pause it was in
    QVERIFY(rig.form->Unloaded());
    QVERIFY(!rig.form->isVisible());
    QVERIFY(rig.port.Sda() && rig.port.Scl());
    QVERIFY(rig.messages.empty());
    QCOMPARE(rig.beeps, 0);
    QVERIFY(rig.Decode().faults.empty());
    QCOMPARE(rig.events, Events{"disable Command3"});  // not enabled again: the window is gone
}

void Form1OperationsTest::closingDuringTheFillWaitsForTheFillToEnd() {
    // The fill takes about 0.1 s with the whole window disabled; ended at a pause it would
    // leave block 0 part-erased. The close waits for it, then happens.
    WindowRig rig;
    rig.LoadAndShow();
    bool closedAtOnce = true, heldVisible = false;
    AtTurn(rig.form.get(), [&] { return Transactions(rig) == 3; }, [&] {
        closedAtOnce = rig.form->close();
        heldVisible = rig.form->isVisible() && rig.form->CloseHeld() && !rig.form->Unloaded();
    });
    rig.Button("Command2")->click();
    QVERIFY(!closedAtOnce);
    QVERIFY(heldVisible);
    QCOMPARE(Transactions(rig), size_t{16 + 1});  // every page and the read-back, nothing after
    for (int a = 0; a < 256; ++a) QCOMPARE(int(rig.eeprom.Memory()[a]), 0xFF);
    QVERIFY(rig.form->Unloaded());
    QVERIFY(!rig.form->isVisible());
    QVERIFY(!rig.form->CloseHeld());
    QVERIFY(rig.port.Sda() && rig.port.Scl());
    QVERIFY(rig.messages.empty());
    QVERIFY(rig.Decode().faults.empty());
}

void Form1OperationsTest::aFillInsideAPatternPauseFinishesBeforeTheCloseEndsThePattern() {
    WindowRig rig;
    rig.LoadAndShow();
    AtTurn(rig.form.get(), [&] { return Transactions(rig) == 20; }, [&] {
        AtTurn(rig.form.get(), [&] { return Transactions(rig) == 23; }, [&] { rig.form->close(); });
        QTest::mouseClick(rig.Button("Command2"), Qt::LeftButton);
    });
    rig.Button("Command3")->click();
    // The fill ran to its end with its read-back; the pattern ended at the pause it was in.
    QCOMPARE(Transactions(rig), size_t{20 + 16 + 1});
    for (int a = 0; a < 256; ++a) QCOMPARE(int(rig.eeprom.Memory()[a]), 0xFF);
    QVERIFY(rig.form->Unloaded());
    QVERIFY(!rig.form->isVisible());
    QVERIFY(rig.port.Sda() && rig.port.Scl());
    QVERIFY(rig.messages.empty());
}

void Form1OperationsTest::failureMidWriteLeavesEverythingEnabled() {
    WindowRig rig;
    rig.LoadAndShow();
    rig.port.FailAfter(3000, "Порт отключён.");
    rig.Button("Command2")->click();
    QCOMPARE(rig.messages.size(), size_t{1});
    QVERIFY(rig.messages[0].text.contains(QStringLiteral("Запись блоками")));
    QCOMPARE(rig.messages[0].title, QStringLiteral("Ошибка порта"));
    QCOMPARE(rig.messages[0].text, QStringLiteral("Порт отключён.\n\nОперация «Запись блоками» "
                                                  "прервана. Окно остаётся в работе: следующее "
                                                  "нажатие снова обратится к порту."));
    QVERIFY(rig.form->isEnabled());
    QVERIFY(rig.Button("Command2")->isEnabled());
    // Enabled again, but no beep.
    QCOMPARE(rig.events, Events(kFillEvents.begin(), kFillEvents.end() - 1));
    rig.events.clear();
    rig.port.FailAfter(3000, "Порт отключён.");
    rig.Button("Command3")->click();
    QCOMPARE(rig.messages.size(), size_t{2});
    QVERIFY(rig.Button("Command3")->isEnabled());
    QCOMPARE(rig.beeps, 0);
    QCOMPARE(rig.events, (Events{"disable Command3", "enable Command3"}));
    // A read cut short does not beep either.
    rig.events.clear();
    rig.port.FailAfter(1000, "Порт отключён.");
    rig.Button("Command1")->click();
    QCOMPARE(rig.messages.size(), size_t{3});
    QVERIFY(rig.events.empty());
}

void Form1OperationsTest::noMemoryWarnsOncePerOperationAfterTheBeep() {
    struct Case {
        const char* button;
        QString counts;
        QString name;
        size_t transactions;
    };
    const Case cases[] = {
        {"Command1", QStringLiteral("8 из 8"), QStringLiteral("Чтение блоками"), 8},
        {"Command4", QStringLiteral("2048 из 2048"), QStringLiteral("Чтение пабайтно"), 2048},
        {"Command2", QStringLiteral("16 из 16"), QStringLiteral("Запись блоками"), 16},
        {"Command3", QStringLiteral("256 из 256"), QStringLiteral("Запись пабайтно"), 256},
    };
    for (const Case& c : cases) {
        WindowRig rig(false);
        rig.LoadAndShow();
        int beepsAtMessage = -1;
        rig.onMessage = [&](const lpt::testing::Message&) { beepsAtMessage = rig.beeps; };
        rig.Button(c.button)->click();
        QCOMPARE(rig.beeps, 1);
        QCOMPARE(rig.messages.size(), size_t{1});
        QCOMPARE(beepsAtMessage, 1);  // after the beep
        QCOMPARE(rig.messages[0].icon, QMessageBox::Warning);
        QVERIFY2(rig.messages[0].text.contains(c.counts), c.button);
        QVERIFY2(rig.messages[0].text.contains(c.name), c.button);
        const bool write = c.name.startsWith(QStringLiteral("Запись"));
        if (write) {
            // The write waits for the silent memory once, the read-back polls it, then says it
            // could not check.
            QVERIFY(Transactions(rig) > c.transactions);
            QVERIFY(rig.messages[0].text.contains(QStringLiteral("проверить записанное не удалось")));
        } else {
            QCOMPARE(Transactions(rig), c.transactions);
        }
        QVERIFY(rig.form->isEnabled());
        for (const char* name : {"Command1", "Command2", "Command3", "Command4"})
            QVERIFY(rig.Button(name)->isEnabled());
        const bool fill = c.transactions == 16;
        QCOMPARE(rig.events, !write ? Events{"beep"} : fill ? kFillEvents : kPatternEvents);
    }
}

void Form1OperationsTest::memoryPresentAndIdleNeverWarns() {
    WindowRig rig;
    rig.LoadAndShow();
    for (const char* name : {"Command1", "Command4", "Command2", "Command3", "Command7", "Command8"})
        rig.Button(name)->click();
    QVERIFY(rig.messages.empty());
    QCOMPARE(rig.beeps, 4);
}

void Form1OperationsTest::slowMemoryMakesTheWritesWarn() {
    WindowRig rig;
    rig.LoadAndShow();
    // A memory slower than the 5 ms pause is waited for at the start of each transaction: every
    // byte is stored, nothing to warn about.
    rig.eeprom.SetWriteCycle(std::chrono::milliseconds(7));
    rig.Button("Command3")->click();
    QVERIFY(rig.eeprom.RefusedAddresses() > 0);
    QVERIFY(rig.messages.empty());
    // One slower than the 100 ms wait loses transactions, and each write says how many: those
    // whose device address was refused to the end.
    rig.eeprom.SetWriteCycle(std::chrono::milliseconds(400));
    const auto refusedToTheEnd = [&](size_t from, size_t count) {
        const auto t = rig.Decode().transactions;
        int n = 0;
        for (size_t i = from; i < from + count && i < t.size(); ++i)
            if (t[i].find("A0+") == std::string::npos) ++n;
        return n;
    };
    size_t from = rig.Decode().transactions.size();
    rig.Button("Command3")->click();
    QCOMPARE(rig.messages.size(), size_t{1});
    const int refused = refusedToTheEnd(from, 256);
    QVERIFY(refused > 0);
    QVERIFY(rig.messages[0].text.contains(QStringLiteral("%1 из 256").arg(refused)));
    rig.clock.Advance(std::chrono::seconds(1));  // the last write cycle is over
    from = rig.Decode().transactions.size();
    rig.Button("Command2")->click();
    QCOMPARE(rig.messages.size(), size_t{2});
    const int refusedByFill = refusedToTheEnd(from, 16);
    QVERIFY(refusedByFill > 0);
    QVERIFY(rig.messages[1].text.contains(QStringLiteral("Запись блоками")));
    QVERIFY(rig.messages[1].text.contains(QStringLiteral("%1 из 16").arg(refusedByFill)));
    // A read afterwards shows the pages that were lost: they kept the pattern.
    rig.clock.Advance(std::chrono::seconds(1));
    rig.eeprom.SetWriteCycle(std::chrono::milliseconds(5));
    rig.Button("Command1")->click();
    int lostPages = 0;
    for (int page = 0; page < 16; ++page)
        if (rig.form->Grid().CellText(page + 1, 1) != "FF") ++lostPages;
    QCOMPARE(lostPages, refusedByFill);
}

void Form1OperationsTest::nestedWarningIsShownWhenTheNestedOperationEnds() {
    WindowRig rig;
    rig.LoadAndShow();
    // The memory disappears while the pattern write is under way; a block read clicked in a
    // pause warns at its own end, and the pattern write goes on after the message.
    size_t transactionsAtMessage = 0;
    rig.onMessage = [&](const lpt::testing::Message&) {
        if (!transactionsAtMessage) transactionsAtMessage = Transactions(rig);
    };
    AtTurn(rig.form.get(), [&] { return Transactions(rig) == 20; }, [&] {
        rig.eeprom.SetPresent(false);
        QTest::mouseClick(rig.Button("Command1"), Qt::LeftButton);
        rig.eeprom.SetPresent(true);
    });
    rig.Button("Command3")->click();
    QCOMPARE(rig.messages.size(), size_t{1});
    QVERIFY(rig.messages[0].text.contains(QStringLiteral("Чтение блоками")));
    QCOMPARE(transactionsAtMessage, size_t{20 + 8});  // right after the nested read
    QCOMPARE(Transactions(rig), size_t{256 + 8 + 1});  // and the pattern's read-back
    QVERIFY(rig.port.Sda() && rig.port.Scl());
}

void Form1OperationsTest::clickStorm() {
    WindowRig rig;
    rig.LoadAndShow();
    std::mt19937 random(20261207);
    int actions = 0;
    int reads = 0;
    auto* timer = new QTimer(rig.form.get());
    timer->setInterval(0);
    connect(timer, &QTimer::timeout, [&] {
        if (actions >= 400) return;
        ++actions;
        switch (random() % 10) {
            case 0:
                if (reads++ < 6) QTest::mouseClick(rig.Button("Command1"), Qt::LeftButton);
                break;
            case 1: QTest::mouseClick(rig.Button("Command7"), Qt::LeftButton); break;
            case 2: QTest::mouseClick(rig.Button("Command8"), Qt::LeftButton); break;
            case 3:
                if (random() % 8 == 0) QTest::mouseClick(rig.Button("Command2"), Qt::LeftButton);
                break;
            case 4: QTest::mouseClick(rig.Button("Command3"), Qt::LeftButton); break;
            case 5:
                if (random() % 20 == 0) QTest::mouseClick(rig.Button("Command4"), Qt::LeftButton);
                break;
            case 6:
                rig.form->resize(300 + int(random() % 500), 150 + int(random() % 400));
                break;
            default: {
                const QPoint at(int(random() % 590), int(random() % 390));
                QTest::mouseClick(rig.form.get(), Qt::LeftButton, {}, at);
                break;
            }
        }
    });
    timer->start();
    rig.Button("Command3")->click();
    timer->stop();
    QVERIFY(actions > 100);
    for (const char* name : {"Command1", "Command2", "Command3", "Command4", "Command7", "Command8"})
        QVERIFY2(rig.Button(name)->isEnabled(), name);
    QVERIFY(rig.form->isEnabled());
    QVERIFY(rig.port.Sda() && rig.port.Scl());
    const auto trace = rig.Decode();
    QVERIFY(trace.faults.empty());
    QVERIFY(rig.messages.empty());
    QCOMPARE(rig.eeprom.RefusedAddresses(), 0L);  // no operation met the memory busy
    for (const std::string& t : trace.transactions) QCOMPARE(t.back(), 'P');
}

QTEST_MAIN(Form1OperationsTest)
void Form1OperationsTest::aClickQueuedBehindTheCloseNeverReachesTheBus() {
    // A byte read clicked in a pattern-write pause holds the thread; the close and a click on
    // "Запись блоками" queue up behind it and are handled by the pause once the read is over.
    WindowRig rig;
    rig.LoadAndShow();
    AtTurn(rig.form.get(), [&] { return Transactions(rig) == 30; }, [&] {
        QMetaObject::invokeMethod(rig.form.get(), "close", Qt::QueuedConnection);
        QMetaObject::invokeMethod(rig.Button("Command2"), "click", Qt::QueuedConnection);
        QTest::mouseClick(rig.Button("Command4"), Qt::LeftButton);
    });
    rig.Button("Command3")->click();
    QVERIFY(rig.form->Unloaded());
    // The read ran, and at most the pattern's own next byte before its pause saw the close;
    // the fill, a page of FF at 0x000, did not.
    QVERIFY(Transactions(rig) <= size_t{30 + 2048 + 1});
    for (int a = 0; a < 16; ++a) QCOMPARE(int(rig.eeprom.Memory()[a]), a);
    QVERIFY(rig.port.Sda() && rig.port.Scl());
}

void Form1OperationsTest::sigtermClosesAtThePauseLikeTheCloseButton() {
    WindowRig rig;
    rig.LoadAndShow();
    lpt::ui::QuitSignals quit(*rig.form);
    QVERIFY(quit.Installed());
    AtTurn(rig.form.get(), [&] { return Transactions(rig) == 10; }, [] { ::raise(SIGTERM); });
    rig.Button("Command3")->click();
    QCOMPARE(quit.Received(), SIGTERM);
    QVERIFY(rig.form->Unloaded());
    QCOMPARE(Transactions(rig), size_t{10});  // the write ended at the pause it was in
    QVERIFY(rig.port.Sda() && rig.port.Scl());
}

void Form1OperationsTest::unloadLeavesAPortThatNeverOpenedAlone() {
    struct NeverOpens : lpt::Port {
        int calls = 0;
        void SetPortBit(int, int) override { Fail(); }
        void ClrPortBit(int, int) override { Fail(); }
        std::int32_t GetPortBit(int, int) override { return Fail(), 0; }
        bool EverOpened() const override { return false; }
        void Fail() {
            ++calls;
            throw lpt::PortError("нет порта");
        }
    } port;
    lpt::ui::Form1 form(port);
    form.SetMessageSink([](QMessageBox::Icon, const QString&, const QString&) {});
    form.Load();
    QCOMPARE(port.calls, 1);
    form.show();
    form.close();
    QVERIFY(form.Unloaded());
    QCOMPARE(port.calls, 1);  // the unload did not try the port again
}

void Form1OperationsTest::aStuckBusIsOneMessageAndNothingElse() {
    WindowRig rig;
    rig.LoadAndShow();
    rig.eeprom.SetHoldSdaLow(true);
    rig.Button("Command2")->click();
    QCOMPARE(rig.messages.size(), size_t{1});
    QCOMPARE(rig.messages[0].icon, QMessageBox::Critical);
    QVERIFY(rig.messages[0].text.contains(QStringLiteral("SDA")));
    QVERIFY(rig.messages[0].text.contains(QStringLiteral("«Запись блоками»")));
    QCOMPARE(rig.messages[0].title, QStringLiteral("Ошибка на шине I2C"));
    QVERIFY(rig.messages[0].text.startsWith(QStringLiteral("Линия SDA прижата к нулю")));
    QVERIFY(rig.messages[0].text.endsWith(QStringLiteral("\n\nОперация «Запись блоками» "
                                                         "остановлена: больше ничего на шину не "
                                                         "отправлено.")));
    QCOMPARE(rig.beeps, 0);
    QVERIFY(rig.form->isEnabled() && rig.Button("Command2")->isEnabled());
    QVERIFY(rig.form->Grid().CellText(1, 1).empty());
    // The same for every bus button: the bus check comes before anything is disabled.
    for (const char* name : {"Command1", "Command4", "Command7", "Command3"}) {
        rig.Button(name)->click();
        QVERIFY2(rig.messages.back().text.contains(QStringLiteral("SDA")), name);
    }
    QCOMPARE(rig.messages.size(), size_t{5});
    QVERIFY(rig.events.empty());  // nothing disabled, no beep
}

#include "form1_operations_test.moc"
