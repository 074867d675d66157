// The window's language: chosen from the desktop's locale or --lang; the English window shows no
// Cyrillic in any caption, menu entry, tooltip, dialog or message it can show (the core's
// messages included), while the grid's character column stays Windows-1251; back in Russian the
// texts are the ones written.
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>

#include "bus/ppdev_port.h"
#include "image/image_file.h"
#include "support/fake_ppdev_system.h"
#include "support/window_rig.h"
#include "ui/language.h"

using lpt::MemoryImage;
using lpt::testing::WindowRig;
using lpt::ui::Language;

namespace {

bool HasCyrillic(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() >= 0x0400 && c.unicode() <= 0x052F) return true;
    return false;
}

// Everything a widget or an action shows a user about itself.
QStringList TextsOf(QObject* object) {
    QStringList texts;
    if (auto* w = qobject_cast<QWidget*>(object)) {
        texts << w->windowTitle() << w->toolTip() << w->statusTip() << w->whatsThis()
              << w->accessibleName() << w->accessibleDescription();
        if (auto* b = qobject_cast<QAbstractButton*>(w)) texts << b->text();
        if (auto* l = qobject_cast<QLabel*>(w)) texts << l->text();
    }
    if (auto* a = qobject_cast<QAction*>(object))
        texts << a->text() << a->toolTip() << a->statusTip() << a->whatsThis() << a->iconText();
    return texts;
}

// The object and everything under it.
QStringList AllTexts(QObject* root) {
    QStringList texts = TextsOf(root);
    for (QObject* child : root->findChildren<QObject*>()) texts << TextsOf(child);
    return texts;
}

// Calls `look` on the modal dialog or popup that `open` brings up, once it is on screen; `look`
// must close it.
void WhileOpen(const std::function<void()>& open, const std::function<bool()>& look) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (look()) poll.stop();
    });
    poll.start(10);
    open();
    QVERIFY(!poll.isActive());
}

// A window over the simulated memory whose file dialogs answer from the test, recording what
// it says: every message box's title and text, the dialogs' titles and the questions.
struct SayingRig : WindowRig {
    QTemporaryDir dir;
    QString chosen;
    QStringList said;
    explicit SayingRig(bool memoryPresent = true) : WindowRig(memoryPresent) {
        form->SetFileDialogs({[this](bool, const QString& title, QString*) {
                                  said << title;
                                  return chosen;
                              },
                              [this](const QString& title, const QString& text) {
                                  said << title << text;
                                  return true;
                              }});
        LoadAndShow();
    }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    void Save(const MemoryImage& image, const char* name) {
        chosen = Path(name);
        lpt::WriteImageFile(chosen.toStdString(), image, *lpt::FormatFromExtension(name));
    }
    void Act(const char* name) { Get<QAction>(name)->trigger(); }
    QStringList All() const {
        QStringList all = said;
        for (const auto& m : messages) all << m.title << m.text;
        return all;
    }
};

}  // namespace

class WindowLanguageTest : public QObject {
    Q_OBJECT
private slots:
    void theLocaleChoosesAndLangOverrides();
    void englishCaptionsMenusAndGrid();
    void englishMessagesOnEveryPath();
    void englishFileDialogAndQuestion();
    void russianAgainIsTheTextAsWritten();
};

void WindowLanguageTest::theLocaleChoosesAndLangOverrides() {
    const auto choose = [](const char* locale, std::optional<Language> chosen = std::nullopt) {
        return lpt::ui::ChooseLanguage(QLocale(QString::fromLatin1(locale)), chosen);
    };
    QCOMPARE(choose("en_US"), Language::English);
    QCOMPARE(choose("en_GB"), Language::English);
    QCOMPARE(choose("ru_RU"), Language::Russian);
    QCOMPARE(choose("C"), Language::Russian);
    QCOMPARE(choose("POSIX"), Language::Russian);
    QCOMPARE(choose("de_DE"), Language::Russian);
    // --lang wins over the desktop either way.
    QCOMPARE(choose("de_DE", Language::English), Language::English);
    QCOMPARE(choose("en_US", Language::Russian), Language::Russian);
    QCOMPARE(lpt::ui::LanguageFromName(QStringLiteral("en")), Language::English);
    QCOMPARE(lpt::ui::LanguageFromName(QStringLiteral("ru")), Language::Russian);
    for (const char* word : {"de", "", "EN", "english", "ru_RU"})
        QVERIFY2(!lpt::ui::LanguageFromName(QString::fromLatin1(word)), word);
}

void WindowLanguageTest::englishCaptionsMenusAndGrid() {
    QCOMPARE(lpt::ui::UseLanguage(Language::English), Language::English);
    QCOMPARE(lpt::ui::CurrentLanguage(), Language::English);
    WindowRig rig;
    rig.eeprom.Memory()[0] = 0xC0;  // Cyrillic capital A in Windows-1251
    rig.LoadAndShow();
    const std::pair<const char*, const char*> captions[] = {
        {"Command1", "Block read"}, {"Command4", "Byte read"},  {"Command7", "Scan"},
        {"Command2", "Block write"}, {"Command3", "Byte write"}, {"Command8", "CLS"}};
    for (const auto& [name, caption] : captions)
        QCOMPARE(rig.Button(name)->text(), QString::fromLatin1(caption));
    QCOMPARE(rig.Caption(), QStringLiteral("Form1"));
    const QStringList texts = AllTexts(rig.form.get());
    QVERIFY(texts.contains(QStringLiteral("Write File to Memory…")));
    for (const QString& text : texts) QVERIFY2(!HasCyrillic(text), qPrintable(text));

    // The grid's context menu, as it opens.
    auto* grid = rig.Get<QTableView>("MSFlexGrid1");
    QStringList entries;
    WhileOpen(
        [&] {
            QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(40, 40),
                                    grid->mapToGlobal(QPoint(40, 40)));
            QApplication::sendEvent(grid, &event);
        },
        [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return false;
            for (QAction* a : menu->actions())
                if (!a->isSeparator()) entries << a->text();
            menu->close();
            return true;
        });
    QCOMPARE(entries, (QStringList{"Save to File…", "Copy", "Select All", "Write File to Memory…",
                                   "Compare with File…", "Cable test…", "Chip", "Bus Speed"}));
    // Detect's findings and verdict come in English too.
    rig.Get<QAction>("actionDetect")->trigger();
    QCOMPARE(rig.messages.size(), size_t{1});
    QVERIFY(rig.messages[0].text.contains(QStringLiteral("certain: ")));
    QVERIFY2(!HasCyrillic(rig.messages[0].title + rig.messages[0].text),
             qPrintable(rig.messages[0].text));
    rig.messages.clear();

    // The character column shows the bytes as Windows-1251 whatever the language.
    rig.Button("Command1")->click();
    const auto* model = grid->model();
    QCOMPARE(model->data(model->index(0, 17)).toString(), QString(QChar(0x0410)));
    QVERIFY(rig.messages.empty());
}

void WindowLanguageTest::englishMessagesOnEveryPath() {
    lpt::ui::UseLanguage(Language::English);
    QStringList all;
    // No memory on the bus: each read and write warns.
    for (const char* button : {"Command1", "Command4", "Command2", "Command3"}) {
        SayingRig rig(false);
        rig.Button(button)->click();
        QCOMPARE(rig.messages.size(), size_t{1});
        all << rig.All();
    }
    {  // SDA held low: the bus check stops the operation.
        SayingRig rig;
        rig.eeprom.SetHoldSdaLow(true);
        rig.Button("Command7")->click();
        all << rig.All();
    }
    {  // Write protected: the writes' read-back differs.
        SayingRig rig;
        rig.eeprom.SetWriteProtected(true);
        rig.Button("Command2")->click();
        rig.Button("Command3")->click();
        all << rig.All();
    }
    {  // The data actions: nothing to save, bad files, writes, compares, failures.
        SayingRig rig;
        rig.Act("actionSave");
        QFile cut(rig.Path("cut.hex"));
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(":10000000000102030405060708090A0B0C0D0E0F78\n");  // no end record
        cut.close();
        rig.chosen = cut.fileName();
        rig.Act("actionWriteFile");
        MemoryImage image = MemoryImage::Full(lpt::testing::Contents(rig.eeprom));
        rig.Save(image, "same.bin");
        rig.Act("actionWriteFile");  // nothing on the grid to compare; the memory already matches
        rig.Act("actionCompare");
        for (int a = 0x500; a < 0x520; ++a) image.bytes[a] ^= 0x0F;
        rig.Save(image, "other.hex");
        rig.Act("actionCompare");  // 32 bytes differ
        QProgressDialog* progress = nullptr;
        QString progressTexts;
        WhileOpen([&] { rig.Act("actionWriteFile"); },
                  [&] {
                      progress = rig.form->findChild<QProgressDialog*>();
                      if (progress) progressTexts = progress->windowTitle() + progress->labelText();
                      return progress != nullptr;
                  });
        QVERIFY(progressTexts.contains(QStringLiteral("Writing the file to the memory")));
        all << progressTexts;
        image.bytes[0x700] ^= 0xFF;
        rig.Save(image, "other.hex");
        rig.eeprom.SetWriteProtected(true);
        rig.Act("actionWriteFile");  // read back other than written
        rig.eeprom.SetWriteProtected(false);
        rig.eeprom.SetWriteCycle(std::chrono::milliseconds(400));
        rig.Act("actionWriteFile");  // a page never finishes
        rig.eeprom.SetWriteCycle(std::chrono::milliseconds(5));
        rig.clock.Advance(std::chrono::seconds(1));
        rig.Button("Command1")->click();
        rig.chosen = rig.Path("no-such-folder/x.bin");
        rig.Act("actionSave");
        rig.eeprom.StopAnsweringAfterReading(2000);
        rig.chosen = rig.Path("other.hex");
        rig.Act("actionCompare");
        QCOMPARE(rig.messages.size(), size_t{10});
        all << rig.All();
    }
    {  // No parallel port at all: at load, and at the next click.
        const auto system = std::make_shared<lpt::testing::FakeSystem>();
        system->dirs.clear();
        system->openError = ENOENT;
        lpt::PpdevPort port(system);
        lpt::ui::Form1 form(port);
        form.SetMessageSink([&](QMessageBox::Icon, const QString& title, const QString& text) {
            all << title << text;
        });
        form.SetBeepSink([] {});
        const qsizetype before = all.size();
        form.Load();
        form.show();
        QTRY_COMPARE(all.size(), before + 2);
        form.findChild<QPushButton*>(QStringLiteral("Command4"))->click();
        QCOMPARE(all.size(), before + 4);
        form.close();
    }
    {  // The bus speed: a mode above the memory's datasheet, and a difference at it.
        SayingRig rig;
        rig.Act("actionSpeedFastPlus");
        MemoryImage image = MemoryImage::Full(lpt::testing::Contents(rig.eeprom));
        image.bytes[3] ^= 0x01;
        rig.Save(image, "speed.bin");
        rig.Act("actionCompare");
        rig.Act("actionSpeedStandard");  // the next window starts at standard again
        QCOMPARE(rig.messages.size(), size_t{2});
        all << rig.All();
    }
    for (const QString& text : all) QVERIFY2(!HasCyrillic(text), qPrintable(text));
    // The window's words and the core's, in English, each path's own.
    const char* const expected[] = {
        "“Block read”: the memory did not answer in 8 of 8 transactions",
        "“Byte write”: the memory did not answer in 256 of 256",
        "SDA is held low",
        "Operation “Scan” stopped: nothing more was sent to the bus.",
        "0x003: written FF, read 0F",
        "Nothing to save",
        "cut.hex: line 1: ",
        "Nothing was written to the memory.",
        "Write the file “same.bin” to the memory?",
        "The memory already matches the file “same.bin”",
        "The memory differs from the file “other.hex” in 32 of 2048 bytes",
        "0x500: file ",
        "Every page written was read back and matches the file.",
        "the read-back check found bytes that differ from the file: 1.",
        "did not finish its write cycle within 100 ms",
        "Operation “Write file to memory” stopped",
        "File not saved",
        "the memory stopped answering during the read of block 7",
        "no parallel port found",
        "Operation “Start-up” interrupted. The window stays usable",
        "Operation “Byte read” interrupted.",
        "1 MHz is more than the 400 kHz the datasheet of the 24c16 gives",
        "The bus at 1 MHz may be too fast for the cable or the memory's supply",
    };
    const QString joined = all.join(QLatin1Char('\n'));
    for (const char* part : expected)
        QVERIFY2(joined.contains(QString::fromUtf8(part)), part);
}

void WindowLanguageTest::englishFileDialogAndQuestion() {
    // Qt's own file dialog and the window's question box, as they open (no seams in between).
    lpt::ui::UseLanguage(Language::English);
    WindowRig rig;
    rig.LoadAndShow();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.bin"));
    lpt::WriteImageFile(path.toStdString(), MemoryImage::Full(lpt::testing::Contents(rig.eeprom)),
                        lpt::ImageFormat::Binary);
    QStringList seen;
    bool asked = false;
    WhileOpen([&] { rig.Get<QAction>("actionWriteFile")->trigger(); },
              [&] {
                  QWidget* modal = QApplication::activeModalWidget();
                  auto* files = qobject_cast<QFileDialog*>(modal);
                  if (files && files->isVisible()) {
                      seen << AllTexts(files) << files->nameFilters();
                      files->selectFile(path);
                      static_cast<QDialog*>(files)->accept();  // as the Open button does
                      return false;
                  }
                  auto* box = qobject_cast<QMessageBox*>(modal);
                  if (!box || !box->isVisible()) return false;
                  seen << AllTexts(box);
                  asked = true;
                  box->reject();  // Cancel: nothing is written
                  return true;
              });
    QVERIFY(asked);
    QVERIFY(seen.contains(QStringLiteral("Binary image (*.bin)")));
    QVERIFY(seen.contains(QStringLiteral("All files (*)")));
    QVERIFY(seen.contains(QStringLiteral("Write")));
    QVERIFY(seen.contains(QStringLiteral("Cancel")));
    for (const QString& text : seen) QVERIFY2(!HasCyrillic(text), qPrintable(text));
    QVERIFY(rig.messages.empty());
}

void WindowLanguageTest::russianAgainIsTheTextAsWritten() {
    QCOMPARE(lpt::ui::UseLanguage(Language::Russian), Language::Russian);
    WindowRig rig;
    QCOMPARE(rig.Button("Command1")->text(), QStringLiteral("Чтение блоками"));
    const lpt::UserError error(lpt::ErrorKind::Port, {"cause", "причина"}, {"remedy", "средство"});
    QCOMPARE(lpt::ui::ErrorText(error), QStringLiteral("причина\nсредство"));
    // Qt's own texts follow where its Russian translation is installed.
    const QString qt = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (QFile::exists(qt + QStringLiteral("/qtbase_ru.qm")))
        QVERIFY(HasCyrillic(QCoreApplication::translate("QPlatformTheme", "Cancel")));
}

QTEST_MAIN(WindowLanguageTest)
#include "window_language_test.moc"
