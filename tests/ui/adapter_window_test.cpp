// The window on a kernel I2C adapter: the six buttons as memory transactions through the fake
// kernel, what has no meaning there (cable test, bus speed) disabled, and an adapter's refusal
// shown as a message with the window usable again.
#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <memory>

#include "operations/kernel_memory_bus.h"
#include "support/fake_i2c_dev.h"
#include "ui/form1.h"

using lpt::testing::FakeI2cDev;

namespace {

std::uint8_t Ramp(int a) { return static_cast<std::uint8_t>(a * 3 + 1); }

struct AdapterWindow {
    std::shared_ptr<FakeI2cDev> kernel = std::make_shared<FakeI2cDev>(lpt::ChipChoice{}, Ramp);
    lpt::I2cAdapter adapter{kernel, 7};
    std::unique_ptr<lpt::ui::Form1> form;
    QStringList messages;

    AdapterWindow() {
        QStandardPaths::setTestModeEnabled(true);
        const lpt::ClockFn clock = kernel->sim.clock.Fn();
        form = std::make_unique<lpt::ui::Form1>(
            std::make_unique<lpt::KernelMemoryBus>(adapter, clock), clock);
        form->SetMessageSink([this](QMessageBox::Icon, const QString& title, const QString& text) {
            messages.push_back(title + ": " + text);
        });
        form->SetBeepSink([] {});
        // Virtual time: a pause moves the clock on by what it waits.
        form->SetPauseIdle([this](lpt::TimeNs wait) { kernel->sim.clock.Advance(wait); });
        form->Load();
        form->show();
    }
    void Click(const char* button) {
        kernel->transfers.clear();
        form->findChild<QPushButton*>(QString::fromLatin1(button))->click();
    }
    std::uint8_t At(int a) const { return kernel->sim.eeprom.Memory()[static_cast<size_t>(a)]; }
};

}  // namespace

class AdapterWindowTest : public QObject {
    Q_OBJECT
private slots:
    void readsAndTheScanAreTransactions();
    void writesAreReadBack();
    void cableTestAndSpeedAreDisabledAndAHeldAddressIsShown();
};

void AdapterWindowTest::readsAndTheScanAreTransactions() {
    AdapterWindow w;
    w.Click("Command1");
    QVERIFY2(w.messages.isEmpty(), qPrintable(w.messages.join('\n')));
    QVERIFY(w.form->LastRead());
    QCOMPARE(*w.form->LastRead(), w.kernel->sim.eeprom.Memory());
    QCOMPARE(w.kernel->transfers.size(), size_t{8});  // one per 256 bytes
    QCOMPARE(w.kernel->transfers[3], std::string("53 w 00 | 53 r 256"));

    w.Click("Command4");  // one random read a byte
    QCOMPARE(w.kernel->transfers.size(), size_t{2048});
    QCOMPARE(w.kernel->transfers[0x1FF], std::string("51 w FF | 51 r 1"));
    QCOMPARE(*w.form->LastRead(), w.kernel->sim.eeprom.Memory());

    w.Click("Command7");
    const QString text = w.form->findChild<QPlainTextEdit*>(QStringLiteral("Text4"))->toPlainText();
    for (const char* address : {"A0", "A2", "A4", "A6", "A8", "AA", "AC", "AE"})
        QVERIFY2(text.contains(QLatin1String(address)), qPrintable(text));
    QVERIFY(std::ranges::all_of(w.kernel->transfers, [](const std::string& t) {
        return t.find(" r 1") != std::string::npos;
    }));
}

void AdapterWindowTest::writesAreReadBack() {
    AdapterWindow w;
    w.Click("Command3");  // value a at address a, one byte write each
    QVERIFY2(w.messages.isEmpty(), qPrintable(w.messages.join('\n')));
    for (int a = 0; a < 256; ++a) QCOMPARE(w.At(a), static_cast<std::uint8_t>(a));
    QVERIFY(std::ranges::find(w.kernel->transfers, "50 w 2A 2A") != w.kernel->transfers.end());
    QCOMPARE(w.At(256), Ramp(256));  // past the first 256 bytes nothing changed

    w.Click("Command2");  // 0xFF in sixteen page writes
    QVERIFY2(w.messages.isEmpty(), qPrintable(w.messages.join('\n')));
    for (int a = 0; a < 256; ++a) QCOMPARE(w.At(a), std::uint8_t{0xFF});
    const auto pages = std::ranges::count_if(w.kernel->transfers, [](const std::string& t) {
        return t.rfind("50 w ", 0) == 0 && t.size() == std::string("50 w 00").size() + 16 * 3;
    });
    QCOMPARE(pages, 16);
}

void AdapterWindowTest::cableTestAndSpeedAreDisabledAndAHeldAddressIsShown() {
    AdapterWindow w;
    for (const char* name : {"actionCableTest", "actionSpeed"})
        QVERIFY(!w.form->findChild<QAction*>(QString::fromLatin1(name))->isEnabled());

    w.kernel->adapters[0].held[0x50] = "at24";
    w.Click("Command1");
    QCOMPARE(w.messages.size(), 1);
    QVERIFY2(w.messages[0].contains(QLatin1String("at24")), qPrintable(w.messages[0]));
    QVERIFY(!w.form->LastRead());
    QVERIFY(w.form->findChild<QPushButton*>(QStringLiteral("Command1"))->isEnabled());
    QVERIFY(w.form->isEnabled());
}

QTEST_MAIN(AdapterWindowTest)
#include "adapter_window_test.moc"
