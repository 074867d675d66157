// The grid's data actions: save, copy, write a file with proof, compare; through the window's
// shortcuts, with the file dialogs replaced.
#include <QActionGroup>
#include <QClipboard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <QTest>

#include "image/image_file.h"
#include "support/window_rig.h"
#include "ui/grid_table_model.h"

using lpt::MemoryImage;
using lpt::testing::Contents;
using lpt::testing::WindowRig;

namespace {

// A window over the simulated memory whose file dialogs answer from the test.
struct FilesRig : WindowRig {
    QTemporaryDir dir;
    QString chosen;         // what the next file dialog answers (empty: cancelled)
    bool answer = true;     // what the confirmation answers
    QStringList questions;  // the confirmations asked
    int dialogs = 0;

    FilesRig() {
        form->SetFileDialogs({[this](bool, const QString&, QString*) {
                                  ++dialogs;
                                  return chosen;
                              },
                              [this](const QString&, const QString& text) {
                                  questions << text;
                                  return answer;
                              }});
        LoadAndShow();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    void Keys(int key) { QTest::keyClick(form.get(), Qt::Key(key), Qt::ControlModifier); }
    void Action(const char* name) { Get<QAction>(name)->trigger(); }
    MemoryImage File(const QString& path) const { return lpt::ReadImageFile(path.toStdString()); }
    void Save(const MemoryImage& image, const QString& path) const {
        lpt::WriteImageFile(path.toStdString(), image, *lpt::FormatFromExtension(path.toStdString()));
    }
    bool GridShows(const lpt::MemoryBytes& bytes) const {
        for (int a = 0; a < 2048; ++a)
            if (form->Grid().CellText(a / 16 + 1, a % 16 + 1) != lpt::HexForm(bytes[a])) return false;
        return true;
    }
};

}  // namespace

class Form1FilesTest : public QObject {
    Q_OBJECT
private slots:
    void saveKeepsTheLastCompleteReadAndOnlyThat();
    void saveGoesThroughALinkAndIntoAFifo();
    void copyGivesTheSelectedCellsAsHexRows();
    void writeFilePutsItOnTheMemoryAndTheGridShowsIt();
    void aBadFileOrANoWritesNothing();
    void compareMarksExactlyTheDifferingCellsUntilTheNextRead();
    void theCableTestShowsItsReportBehindTheBoundary();
    void closingDuringAFileWriteEndsItAtAPageBoundary();
    void theSpeedMenuIsKeptBetweenRunsAndWarnsAboveTheMemory();
};

void Form1FilesTest::saveKeepsTheLastCompleteReadAndOnlyThat() {
    FilesRig rig;
    rig.chosen = rig.Path("early.bin");
    rig.Keys(Qt::Key_S);
    QCOMPARE(rig.dialogs, 0);
    QVERIFY(!QFile::exists(rig.chosen));
    QCOMPARE(rig.messages.size(), size_t{1});
    QVERIFY(rig.messages[0].text.contains(QStringLiteral("нет полного чтения")));

    rig.Button("Command1")->click();
    for (const char* name : {"dump.bin", "dump.hex"}) {
        rig.chosen = rig.Path(name);
        rig.Keys(Qt::Key_S);
        const MemoryImage saved = rig.File(rig.chosen);
        QVERIFY(saved.Complete());
        QVERIFY(saved.bytes == Contents(rig.eeprom));
    }
    rig.Button("Command8")->click();  // CLS: nothing complete on the grid again
    rig.chosen = rig.Path("after-cls.bin");
    rig.Keys(Qt::Key_S);
    QVERIFY(!QFile::exists(rig.chosen));
    QCOMPARE(rig.messages.size(), size_t{2});

    // A read the memory did not answer fills the grid with FF: that is no read of the memory.
    rig.Button("Command1")->click();
    rig.eeprom.SetPresent(false);
    rig.Button("Command1")->click();
    QCOMPARE(rig.messages.size(), size_t{3});  // the read's own warning
    rig.chosen = rig.Path("unanswered.bin");
    const int dialogs = rig.dialogs;
    rig.Keys(Qt::Key_S);
    QVERIFY(!QFile::exists(rig.chosen));
    QCOMPARE(rig.dialogs, dialogs);
    QCOMPARE(rig.messages.size(), size_t{4});
    QVERIFY(rig.messages[3].text.contains(QStringLiteral("нет полного чтения")));
    QVERIFY(rig.messages[3].text.contains(QStringLiteral("не отвечала")));
}

void Form1FilesTest::saveGoesThroughALinkAndIntoAFifo() {
    FilesRig rig;
    rig.Button("Command1")->click();
    const auto memory = Contents(rig.eeprom);
    rig.chosen = rig.Path("link.hex");
    QVERIFY(QFile::link(QStringLiteral("target.hex"), rig.chosen));
    rig.Keys(Qt::Key_S);
    QVERIFY(QFileInfo(rig.chosen).isSymLink());
    QVERIFY(rig.File(rig.Path("target.hex")).bytes == memory);

    // A FIFO named without an extension: the bytes go into it, no "pipe.bin" is made beside it.
    rig.chosen = rig.Path("pipe");
    QCOMPARE(mkfifo(rig.chosen.toLocal8Bit().constData(), 0600), 0);
    const int reader = open(rig.chosen.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    rig.Keys(Qt::Key_S);
    std::string got(4096, '\0');
    const ssize_t n = read(reader, got.data(), got.size());
    close(reader);
    QCOMPARE(n, ssize_t{2048});
    QVERIFY(got.substr(0, 2048) == std::string(memory.begin(), memory.end()));
    QVERIFY(!QFile::exists(rig.chosen + QStringLiteral(".bin")));
    QVERIFY(rig.messages.empty());
}

void Form1FilesTest::copyGivesTheSelectedCellsAsHexRows() {
    FilesRig rig;
    rig.Button("Command1")->click();
    auto* view = rig.Get<QTableView>("MSFlexGrid1");
    auto* selection = view->selectionModel();
    for (int col : {0, 1, 15}) selection->select(view->model()->index(1, col), QItemSelectionModel::Select);
    rig.Keys(Qt::Key_C);
    const auto& m = rig.eeprom.Memory();  // row 1 holds addresses 0x010..0x01f
    const QString expected = QStringLiteral("0x010  %1 %2 %3 %4 ")
                                 .arg(lpt::HexForm(m[0x10]).c_str(), 2, QLatin1Char('0'))
                                 .arg(lpt::HexForm(m[0x11]).c_str(), 2, QLatin1Char('0'))
                                 .arg(QString(13 * 3 - 1, QLatin1Char(' ')))
                                 .arg(lpt::HexForm(m[0x1F]).c_str(), 2, QLatin1Char('0'));
    QCOMPARE(QGuiApplication::clipboard()->text().left(expected.size()), expected);
    rig.Keys(Qt::Key_A);
    rig.Keys(Qt::Key_C);
    QCOMPARE(QGuiApplication::clipboard()->text().count(QLatin1Char('\n')), 128);
}

void Form1FilesTest::writeFilePutsItOnTheMemoryAndTheGridShowsIt() {
    FilesRig rig;
    rig.Button("Command1")->click();
    MemoryImage image = MemoryImage::Full(Contents(rig.eeprom));
    for (int a = 0x120; a < 0x140; ++a) image.bytes[a] = static_cast<std::uint8_t>(~a);  // 2 pages
    rig.chosen = rig.Path("new.hex");
    rig.Save(image, rig.chosen);
    rig.Keys(Qt::Key_O);
    QCOMPARE(rig.questions.size(), 1);
    QVERIFY(rig.questions[0].contains(QStringLiteral("new.hex")));
    QVERIFY(rig.questions[0].contains(QStringLiteral("2048 из 2048")));
    QVERIFY(rig.questions[0].contains(QStringLiteral("2 из 128 страниц")));
    QVERIFY(Contents(rig.eeprom) == image.bytes);
    QVERIFY(rig.GridShows(image.bytes));
    QVERIFY(rig.form->LastRead() && *rig.form->LastRead() == image.bytes);
    QVERIFY(rig.messages.back().text.contains(QStringLiteral("прочитаны обратно")));
    QVERIFY(rig.form->isEnabled());
}

void Form1FilesTest::aBadFileOrANoWritesNothing() {
    FilesRig rig;
    const auto before = Contents(rig.eeprom);
    QFile bad(rig.Path("cut.hex"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(":10000000000102030405060708090A0B0C0D0E0F78\n");  // no end record
    bad.close();
    rig.chosen = bad.fileName();
    rig.port.ClearCalls();
    rig.Keys(Qt::Key_O);
    QVERIFY2(rig.questions.isEmpty(), "refused before asking");
    QVERIFY(rig.messages.back().text.contains(QStringLiteral("cut.hex")));
    QVERIFY(rig.port.Calls().empty());

    MemoryImage image = MemoryImage::Full(before);
    image.bytes[5] ^= 0xFF;
    rig.chosen = rig.Path("good.bin");
    rig.Save(image, rig.chosen);
    rig.answer = false;  // the user says no
    rig.Keys(Qt::Key_O);
    QCOMPARE(rig.questions.size(), 1);
    QVERIFY(rig.port.Calls().empty());
    QVERIFY(Contents(rig.eeprom) == before);
}

void Form1FilesTest::compareMarksExactlyTheDifferingCellsUntilTheNextRead() {
    FilesRig rig;
    MemoryImage image = MemoryImage::Full(Contents(rig.eeprom));
    const std::vector<int> differ = {0x000, 0x3A7, 0x7FF};
    for (int a : differ) image.bytes[a] ^= 0x5A;
    rig.chosen = rig.Path("other.bin");
    rig.Save(image, rig.chosen);
    rig.Action("actionCompare");
    auto& model = rig.form->GridModel();
    QCOMPARE(model.MarkCount(), 3);
    for (int a : differ) {
        QVERIFY(model.IsMarked(model.index(a / 16, a % 16)));       // hex cell
        QVERIFY(model.IsMarked(model.index(a / 16, a % 16 + 17)));  // character cell
    }
    QVERIFY(!model.IsMarked(model.index(0, 1)));
    QVERIFY(rig.messages.back().text.contains(QStringLiteral("3 из 2048")));
    QVERIFY(rig.GridShows(Contents(rig.eeprom)));
    rig.Button("Command1")->click();
    QCOMPARE(model.MarkCount(), 0);
}

void Form1FilesTest::closingDuringAFileWriteEndsItAtAPageBoundary() {
    FilesRig rig;
    const auto before = rig.eeprom.Memory();
    const lpt::MemoryBytes zeros(2048);
    rig.chosen = rig.Path("zeros.bin");
    rig.Save(MemoryImage::Full(zeros), rig.chosen);
    QTimer closer;  // fires in the progress dialog's event processing, between two pages
    connect(&closer, &QTimer::timeout, [&] {
        if (rig.Stops() >= 8 + 20) closer.stop(), rig.form->close();
    });
    closer.start(0);
    rig.Keys(Qt::Key_O);
    QVERIFY(rig.form->Unloaded());
    QVERIFY(rig.port.Sda() && rig.port.Scl());
    int written = 0;
    for (int page = 0; page < 128; ++page) {
        const auto* p = &rig.eeprom.Memory()[page * 16];
        const bool isNew = std::all_of(p, p + 16, [](std::uint8_t b) { return b == 0; });
        QVERIFY(isNew || std::equal(p, p + 16, &before[page * 16]));  // whole pages only
        written += isNew;
    }
    QVERIFY(written > 0 && written < 128);
}

void Form1FilesTest::theCableTestShowsItsReportBehindTheBoundary() {
    FilesRig rig;
    rig.port.Wire(lpt::DirectCable());  // a whole port: every status bit can be read
    rig.Action("actionCableTest");
    QCOMPARE(rig.messages.size(), size_t(1));
    QCOMPARE(rig.messages.back().icon, QMessageBox::Information);
    QVERIFY(rig.messages.back().text.startsWith(QStringLiteral("Кабель работает так, как выбран.")));
    QVERIFY(rig.messages.back().text.contains(
        QStringLiteral("SDA out (D0, pin 2) -> seen on pin 15 (S3 ERROR): ok")));
    // A port that refuses the other status bits: the failure is shown as a port error.
    FilesRig strict;
    strict.Action("actionCableTest");
    QCOMPARE(strict.messages.size(), size_t(1));
    QCOMPARE(strict.messages.back().title, QStringLiteral("Ошибка порта"));
    QVERIFY(strict.messages.back().text.contains(QStringLiteral("Проверка кабеля")));
}

void Form1FilesTest::theSpeedMenuIsKeptBetweenRunsAndWarnsAboveTheMemory() {
    // Compares the memory with a file that differs from it in one byte.
    const auto compareWithOneByteOff = [](FilesRig& rig) {
        lpt::MemoryBytes other = Contents(rig.eeprom);
        other[5] ^= 0xFF;
        rig.Save(MemoryImage::Full(other), rig.Path("other.bin"));
        rig.chosen = rig.Path("other.bin");
        rig.Action("actionCompare");
    };
    QStandardPaths::setTestModeEnabled(true);
    QSettings stored(QStringLiteral("lpt-eeprom"), QStringLiteral("lpt-eeprom"));
    stored.remove(QStringLiteral("speed"));
    const char* const entries[] = {"actionSpeedStandard", "actionSpeedFast", "actionSpeedFastPlus"};
    const auto checked = [&entries](const FilesRig& rig) {
        QStringList on;
        for (const char* name : entries)
            if (rig.Get<QAction>(name)->isChecked()) on << QString::fromLatin1(name);
        return on;
    };
    {
        FilesRig rig;
        QCOMPARE(checked(rig), QStringList{"actionSpeedStandard"});
        QCOMPARE(rig.form->Bus().Speed(), lpt::BusSpeed::Standard);
        QVERIFY(rig.Get<QAction>("actionSpeedFast")->actionGroup()->isExclusive());
        rig.Action("actionSpeedFast");  // the 24c16 takes 400 kHz: nothing to warn of
        QCOMPARE(checked(rig), QStringList{"actionSpeedFast"});
        QCOMPARE(rig.form->Bus().Speed(), lpt::BusSpeed::Fast);
        QVERIFY(rig.messages.empty());
        stored.sync();
        QCOMPARE(stored.value(QStringLiteral("speed")).toString(), QStringLiteral("fast"));

        // A memory that differs from the file at a fast mode: the message offers the way back.
        compareWithOneByteOff(rig);
        QCOMPARE(rig.messages.size(), size_t{1});
        QVERIFY2(rig.messages.back().text.contains(QStringLiteral(
                     "Шина на 400 кГц может быть слишком быстрой для кабеля или питания памяти")),
                 qPrintable(rig.messages.back().text));
        QVERIFY(rig.messages.back().text.contains(QStringLiteral("«Скорость шины»")));

        rig.Action("actionSpeedFastPlus");  // above the 24c16's datasheet: said once
        QCOMPARE(rig.messages.size(), size_t{2});
        QCOMPARE(rig.messages.back().title, QStringLiteral("Скорость шины"));
        QVERIFY2(rig.messages.back().text.startsWith(
                     QStringLiteral("1 МГц — больше, чем 400 кГц, которые даёт описание памяти "
                                    "24c16")),
                 qPrintable(rig.messages.back().text));
        QCOMPARE(rig.form->Bus().Speed(), lpt::BusSpeed::FastPlus);
    }
    {  // The next run starts where the menu was left, without a word.
        FilesRig rig;
        QCOMPARE(checked(rig), QStringList{"actionSpeedFastPlus"});
        QCOMPARE(rig.form->Bus().Speed(), lpt::BusSpeed::FastPlus);
        QVERIFY(rig.messages.empty());
        // The command line's choice holds for its run and is not kept.
        rig.form->SetSpeed(lpt::BusSpeed::Standard);
        QCOMPARE(checked(rig), QStringList{"actionSpeedStandard"});
        QCOMPARE(rig.form->Bus().Speed(), lpt::BusSpeed::Standard);
        stored.sync();
        QCOMPARE(stored.value(QStringLiteral("speed")).toString(), QStringLiteral("fast-plus"));
        // At standard speed a difference is only a difference.
        compareWithOneByteOff(rig);
        QCOMPARE(rig.messages.size(), size_t{1});
        QVERIFY(!rig.messages.back().text.contains(QStringLiteral("Скорость шины")));
    }
    stored.remove(QStringLiteral("speed"));
}

QTEST_MAIN(Form1FilesTest)
#include "form1_files_test.moc"
