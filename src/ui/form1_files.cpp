// The window's data actions: keep what was read in a file, copy it, put a file onto the memory
// with proof, compare the memory with a file. They live on the grid's context menu and on the
// window's shortcuts; the six buttons and their wire traffic do not change.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

#include <algorithm>
#include <map>

#include "image/image_file.h"
#include "operations/bus_check.h"
#include "operations/cable_test.h"
#include "ui/dump_view.h"
#include "ui/form1.h"
#include "ui/grid_table_model.h"
#include "ui/language.h"

namespace lpt::ui {

namespace {

// The file dialogs' name filters; FormatFor reads the patterns back.
QString Filters() {
    return Form1::tr("Двоичный образ (*.bin);;Intel HEX (*.hex *.ihex);;S-record (*.srec *.s19);;"
                     "Все файлы (*)");
}

QString Hex2(int value) { return QString::fromStdString(ByteHex(value)); }

QString AddressOf(int address, int digits = 3) {
    return QString::fromStdString(AddressText(address, digits));
}

// "  0x064: в файле 64, в памяти 55" for each of the first differing bytes.
QString MismatchLines(const std::vector<Mismatch>& first, int total, const QString& expected,
                      const QString& found) {
    QString text;
    for (const Mismatch& m : first)
        text += QStringLiteral("  %1: %2 %3, %4 %5\n")
                    .arg(AddressOf(m.address), expected, Hex2(m.expected), found, Hex2(m.found));
    if (total > static_cast<int>(first.size()))
        text += QStringLiteral("  ") +
                Form1::tr("… и ещё %1").arg(total - static_cast<int>(first.size())) +
                QLatin1Char('\n');
    return text;
}

// The format a file name asks for, else the one of the filter picked in the dialog.
ImageFormat FormatFor(const QString& path, const QString& filter) {
    if (const auto f = FormatFromExtension(path.toStdString())) return *f;
    if (filter.contains(QStringLiteral("*.hex"))) return ImageFormat::IntelHex;
    if (filter.contains(QStringLiteral("*.srec"))) return ImageFormat::SRecord;
    return ImageFormat::Binary;
}

QString ExtensionOf(ImageFormat format) {
    switch (format) {
        case ImageFormat::IntelHex: return QStringLiteral(".hex");
        case ImageFormat::SRecord: return QStringLiteral(".srec");
        case ImageFormat::Binary: break;
    }
    return QStringLiteral(".bin");
}

QString FileName(const QString& path) { return QFileInfo(path).fileName(); }

}  // namespace

void Form1::BuildActions() {
    dialogs_.choose = [this](bool save, const QString& title, QString* filter) {
        return save ? QFileDialog::getSaveFileName(this, title, lastFolder_, Filters(), filter)
                    : QFileDialog::getOpenFileName(this, title, lastFolder_, Filters(), filter);
    };
    dialogs_.confirm = [this](const QString& title, const QString& text) {
        QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, this);
        QPushButton* write = box.addButton(
            confirmAccept_.isEmpty() ? tr("Записать") : confirmAccept_, QMessageBox::AcceptRole);
        QPushButton* cancel = box.addButton(tr("Отмена"), QMessageBox::RejectRole);
        box.setDefaultButton(cancel);  // the safe answer
        box.setEscapeButton(cancel);
        box.exec();
        return box.clickedButton() == write;
    };

    struct Entry {
        const char* name;
        const char* text;
        QKeySequence keys;
        void (Form1::*slot)();
    };
    const Entry entries[] = {
        {"actionSave", QT_TR_NOOP("Сохранить в файл…"), QKeySequence(Qt::CTRL | Qt::Key_S),
         &Form1::SaveToFile},
        {"actionCopy", QT_TR_NOOP("Копировать"), QKeySequence(Qt::CTRL | Qt::Key_C),
         &Form1::CopySelection},
        {"actionSelectAll", QT_TR_NOOP("Выделить всё"), QKeySequence(Qt::CTRL | Qt::Key_A),
         &Form1::SelectAllCells},
        {"actionWriteFile", QT_TR_NOOP("Записать файл в память…"),
         QKeySequence(Qt::CTRL | Qt::Key_O), &Form1::WriteFileToMemory},
        {"actionCompare", QT_TR_NOOP("Сравнить с файлом…"), QKeySequence(),
         &Form1::CompareWithFile},
        {"actionCableTest", QT_TR_NOOP("Проверка кабеля…"), QKeySequence(), &Form1::CheckCable},
    };
    MSFlexGrid1->setContextMenuPolicy(Qt::ActionsContextMenu);
    for (const Entry& entry : entries) {
        auto* action = new QAction(tr(entry.text), this);
        action->setObjectName(QString::fromLatin1(entry.name));
        action->setShortcut(entry.keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, entry.slot);
        addAction(action);               // the shortcut works anywhere in the window
        MSFlexGrid1->addAction(action);  // and the grid's context menu lists it
        if (entry.slot == &Form1::SelectAllCells || entry.slot == &Form1::CompareWithFile) {
            auto* separator = new QAction(this);
            separator->setSeparator(true);
            MSFlexGrid1->addAction(separator);
        }
    }
    BuildChipMenu();
    BuildSpeedMenu();
}

void Form1::ForgetDump() {
    lastRead_.reset();
    MSFlexGrid1->Model().ClearMarks();
}

OperationResult Form1::KeepRead(OperationResult result) {
    // A read in which the memory did not acknowledge is not a read of the memory: its FF are
    // what an empty bus gives. It is not kept, so Save says there is nothing to save.
    if (result.data.size() == static_cast<size_t>(memory_.size) && result.unanswered == 0)
        lastRead_ = result.data;
    return result;
}

void Form1::ShowBytes(const MemoryBytes& bytes) {
    WriteCursor cursor;  // row 1, column 1
    for (const std::uint8_t byte : bytes) PlaceByte(grid_, cursor, byte);
    MSFlexGrid1->PaintChanges();
    lastRead_ = bytes;
}

std::optional<MemoryImage> Form1::ChooseImage(const QString& title, QString* path) {
    QString filter;
    *path = dialogs_.choose ? dialogs_.choose(false, title, &filter) : QString();
    if (path->isEmpty()) return std::nullopt;
    lastFolder_ = QFileInfo(*path).absolutePath();
    try {
        // Read as an image of the chosen chip: a file of another size is refused, naming it.
        return ReadImageFile(path->toStdString(), {}, ImageTarget::Of(chip_));
    } catch (const ImageFileError& e) {
        ShowMessage(QMessageBox::Warning, tr("Файл не подходит"),
                    ErrorText(e) + QStringLiteral("\n\n") + tr("В память ничего не записано."));
    }
    return std::nullopt;
}

void Form1::SaveToFile() {
    Guarded(tr("Сохранить в файл"), [this] {
        if (!lastRead_) {
            ShowMessage(QMessageBox::Information, tr("Нечего сохранять"),
                        tr("В таблице нет полного чтения памяти (программа только что запущена, "
                           "таблица очищена кнопкой CLS, чтение прервано ошибкой или память при "
                           "чтении не отвечала), поэтому сохранять нечего.\nПрочитайте память "
                           "кнопкой «Чтение блоками» или «Чтение пабайтно» и сохраните снова."));
            return;
        }
        QString filter;
        QString path = dialogs_.choose
                           ? dialogs_.choose(true, tr("Сохранить прочитанное в файл"), &filter)
                           : QString();
        if (path.isEmpty()) return;
        const ImageFormat format = FormatFor(path, filter);
        // A device or a FIFO chosen by its name is written as it is, not beside it with an
        // extension added.
        const QFileInfo chosen(path);
        const bool special = chosen.exists() && !chosen.isFile() && !chosen.isDir();
        if (!FormatFromExtension(path.toStdString()) && !special) path += ExtensionOf(format);
        lastFolder_ = QFileInfo(path).absolutePath();
        try {
            // Written whole into a temporary file beside it and renamed into place (through a
            // link, the file it points to); a device or a FIFO is written where it is.
            WriteImageFile(path.toStdString(), MemoryImage::Full(*lastRead_), format);
        } catch (const ImageFileError& e) {
            ShowMessage(QMessageBox::Warning, tr("Файл не сохранён"), ErrorText(e));
        }
    });
}

void Form1::CopySelection() {
    Guarded(tr("Копировать"), [this] {
        // The selected cells by grid row: which of the sixteen bytes of the row.
        std::map<int, std::array<bool, 16>> rows;
        for (const QModelIndex& index : MSFlexGrid1->selectionModel()->selectedIndexes()) {
            const int address = GridTableModel::AddressOf(index);
            if (address >= 0) rows[address / 16][static_cast<size_t>(address % 16)] = true;
        }
        QString text;
        for (const auto& [row, picked] : rows) {
            QString hex, chars;
            for (int offset = 0; offset < 16; ++offset) {
                const std::string& cell = grid_.CellText(row + 1, offset + 1);
                const bool shown = picked[static_cast<size_t>(offset)] && !cell.empty();
                hex += shown ? QString::fromStdString(cell).rightJustified(2, QLatin1Char('0'))
                             : QStringLiteral("  ");
                hex += QLatin1Char(' ');
                const QString ch = QString::fromStdString(grid_.CellText(row + 1, offset + 18));
                chars += !shown ? QStringLiteral(" ")
                                : (IsControlCharacter(ch) || ch.isEmpty() ? QStringLiteral(".") : ch);
            }
            text += AddressOf(row * 16, std::max(3, memory_.AddressDigits())) + QStringLiteral("  ") + hex + QLatin1Char(' ') +
                    chars.trimmed() + QLatin1Char('\n');
        }
        if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
    });
}

void Form1::SelectAllCells() { MSFlexGrid1->selectAll(); }

void Form1::WithImageFile(const QString& what, const QString& dialogTitle,
                          const std::function<void(const MemoryImage&, const QString&)>& body) {
    if (fileWorkRunning_) return;
    Guarded(what, [&] {
        QString path;
        const std::optional<MemoryImage> image = ChooseImage(dialogTitle, &path);
        if (image) body(*image, path);
    });
}

void Form1::WriteFileToMemory() {
    const QString what = tr("Записать файл в память");
    WithImageFile(what, what, [this](const MemoryImage& image, const QString& path) {
        QString differ;
        if (lastRead_) {
            const size_t pages = DifferingPages(image, *lastRead_, memory_.pageSize).size();
            differ = tr("Отличается от показанного в таблице: %1 из %2 страниц по %3 байт; "
                        "только они и будут записаны.")
                         .arg(pages)
                         .arg(memory_.Pages())
                         .arg(memory_.pageSize);
        } else {
            differ = tr("В таблице нет полного чтения памяти: какие страницы отличаются, станет "
                        "известно, когда память будет прочитана перед записью.");
        }
        const QString question =
            tr("Записать в память файл «%1»?\n\nФайл: %2\nДанные: %3 из %4 байт памяти.\n%5\n\n"
               "Запись изменит содержимое памяти. Каждая записанная страница будет прочитана "
               "обратно и сверена с файлом.")
                .arg(FileName(path), QDir::toNativeSeparators(path))
                .arg(image.CoveredCount())
                .arg(image.Size())
                .arg(differ);
        if (!Ask(tr("Записать файл в память?"), question, tr("Записать"))) return;

        pause_.Settle();
        fileWorkRunning_ = true;
        struct Done {
            Form1& f;
            ~Done() { f.fileWorkRunning_ = false; }
        } done{*this};
        // Every byte may change: a pattern write this one is nested in compares only what it
        // writes after it.
        const int writer = journal_.Begin();
        for (int a = 0; a < image.Size(); ++a) journal_.Record(writer, a);

        // The progress dialog is window-modal: the window takes no other input meanwhile. Its
        // updates come between pages, with the bus at rest; a close handled there ends the
        // write at that page boundary.
        QProgressDialog progress(tr("Запись файла…"), QString(), 0, 1, this);
        progress.setWindowTitle(tr("Запись файла в память"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(0);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        QElapsedTimer clock;
        clock.start();
        const ProgressFn tick = [&](int doneBytes, int total) {
            if (unloaded_) throw OperationCancelled();
            const qint64 ms = clock.elapsed();
            const qint64 left = doneBytes > 0 ? ms * (total - doneBytes) / doneBytes : 0;
            progress.setMaximum(total);
            progress.setLabelText(tr("«%1»: %2 из %3 байт, осталось около %4 с")
                                      .arg(FileName(path))
                                      .arg(doneBytes)
                                      .arg(total)
                                      .arg(static_cast<double>(left) / 1000.0, 0, 'f', 1));
            progress.setValue(doneBytes);  // processes events: the dialog is modal
            if (unloaded_) throw OperationCancelled();
        };
        MemoryBus& memory = *memoryBus_;
        // The whole memory is read first: the grid shows it afterwards.
        const WriteReport report = WriteImage(memory, image, {.readWhole = true}, tick);
        progress.close();
        ForgetDump();
        ShowBytes(report.after.bytes);
        QString text;
        if (report.pagesWritten == 0) {
            text = tr("Память уже совпадает с файлом «%1»: ни одна страница не записана.")
                       .arg(FileName(path));
        } else if (report.verify.differing == 0) {
            text = tr("Файл «%1» записан в память: записано страниц — %2, совпадали и пропущены "
                      "— %3.\nВсе записанные страницы прочитаны обратно и совпадают с файлом.")
                       .arg(FileName(path))
                       .arg(report.pagesWritten)
                       .arg(report.pagesSkipped);
        } else {
            text = tr("Файл «%1» записан (страниц: %2), но проверка чтением нашла %3 байт, "
                      "отличающихся от файла:\n%4Возможные причины: запись запрещена (вывод WP "
                      "памяти подключён к питанию), ненадёжный контакт на выводах 2, 15, 16, "
                      "неисправная память.%5")
                       .arg(FileName(path))
                       .arg(report.pagesWritten)
                       .arg(report.verify.differing)
                       .arg(MismatchLines(report.verify.first, report.verify.differing,
                                          tr("в файле"), tr("в памяти")))
                       .arg((report.addressingDoubt.ru.empty()
                                 ? QString()
                                 : tr(" Кроме того, ") + WordingText(report.addressingDoubt)) +
                            SpeedHint());
            MSFlexGrid1->Model().SetMarks([&] {
                std::vector<int> at;
                for (const Mismatch& m : report.verify.all) at.push_back(m.address);
                return at;
            }());
        }
        Beep();
        ShowMessage(report.verify.differing == 0 ? QMessageBox::Information : QMessageBox::Warning,
                    tr("Запись файла"), text);
    });
}

void Form1::CompareWithFile() {
    const QString what = tr("Сравнить с файлом");
    const QString title = tr("Сравнить память с файлом");
    WithImageFile(what, title, [this](const MemoryImage& image, const QString& path) {
        pause_.Settle();
        ForgetDump();
        MemoryBus& memory = *memoryBus_;
        const MemoryBytes bytes = ReadMemory(memory);
        ShowBytes(bytes);
        const ImageDiff diff = Compare(image, bytes);
        std::vector<int> at;
        for (const Mismatch& m : diff.all) at.push_back(m.address);
        MSFlexGrid1->Model().SetMarks(at);
        Beep();
        if (diff.differing == 0) {
            ShowMessage(QMessageBox::Information, tr("Сравнение с файлом"),
                        tr("Память совпадает с файлом «%1»: сравнено %2 байт.")
                            .arg(FileName(path))
                            .arg(diff.compared));
            return;
        }
        ShowMessage(QMessageBox::Warning, tr("Сравнение с файлом"),
                    tr("Память отличается от файла «%1»: %2 из %3 байт; в таблице они выделены "
                       "цветом.\n%4")
                        .arg(FileName(path))
                        .arg(diff.differing)
                        .arg(diff.compared)
                        .arg(MismatchLines(diff.first, diff.differing, tr("в файле"),
                                           tr("в памяти"))) +
                        SpeedHint());
    });
}

void Form1::CheckCable() {
    // Not in the middle of a file write: its transactions own the bus until it ends. A kernel
    // adapter has no cable (the menu entry is disabled there).
    if (fileWorkRunning_ || !lines_) return;
    Guarded(tr("Проверка кабеля"), [this] {
        const CableTestReport report = TestCable(*port_, *lines_, clock_);
        // The report stays in English, as a user pastes it into a question.
        ShowMessage(report.works ? QMessageBox::Information : QMessageBox::Warning,
                    tr("Проверка кабеля"),
                    (report.works ? tr("Кабель работает так, как выбран.")
                                  : tr("Кабель работает не так, как выбран: подсказки — в отчёте "
                                       "ниже.")) +
                        QStringLiteral("\n\n") + QString::fromStdString(report.Text()));
    });
}

}  // namespace lpt::ui
