#include "ui/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFrame>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "operations/bus_check.h"
#include "ui/grid_table_model.h"

namespace lpt::ui {

namespace {

// Repaints during a read at most this often: about 30 times a second.
constexpr auto kPaintInterval = std::chrono::milliseconds(33);

QRect Twips(int left, int top, int width, int height) {
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                 height / kTwipsPerPixel);
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

QString Utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

Form1::Form1(Port& port, ClockFn clock, QWidget* parent)
    : QWidget(parent),
      port_(port),
      bus_(port),
      pause_(std::move(clock), [] { QApplication::processEvents(); }, SleepBriefly) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    messageSink_ = [this](QMessageBox::Icon icon, const QString& title, const QString& text) {
        QMessageBox box(icon, title, text, QMessageBox::Ok, isVisible() ? this : nullptr);
        box.exec();
    };
    beepSink_ = [] { QApplication::beep(); };
    BuildControls();
    grid_.SetChangeListener([this](int, int) { OnGridChanged(); });
}

Form1::~Form1() {
    grid_.SetChangeListener(nullptr);
    // The view and its model read grid_, which goes before the QWidget base deletes its
    // children: take them down first.
    delete MSFlexGrid1;
    delete model_;
}

void Form1::BuildControls() {
    // Client area as laid out: 8910 x 5865 twips.
    resize(8910 / kTwipsPerPixel, 5865 / kTwipsPerPixel);

    auto button = [this](const char* name, const QString& caption, QRect geometry) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(geometry);
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    Command1 = button("Command1", QStringLiteral("Чтение блоками"), Twips(90, 90, 1635, 330));
    Command4 = button("Command4", QStringLiteral("Чтение пабайтно"), Twips(1755, 90, 1725, 330));
    Command7 = button("Command7", QStringLiteral("Поиск"), Twips(3510, 90, 1545, 330));
    Command2 = button("Command2", QStringLiteral("Запись блоками"), Twips(90, 450, 1635, 330));
    Command3 = button("Command3", QStringLiteral("Запись пабайтно"), Twips(1755, 450, 1725, 330));
    Command8 = button("Command8", QStringLiteral("CLS"), Twips(3510, 450, 1545, 330));

    Text4 = new QPlainTextEdit(this);
    Text4->setObjectName(QStringLiteral("Text4"));
    Text4->setGeometry(Twips(5175, 90, 3615, 645));
    Text4->setTabChangesFocus(true);
    Text4->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    model_ = new GridTableModel(grid_, this);
    MSFlexGrid1 = new QTableView(this);
    MSFlexGrid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    MSFlexGrid1->setGeometry(Twips(90, 855, 8745, 4920));
    MSFlexGrid1->setModel(model_);
    MSFlexGrid1->setItemDelegate(new ControlCharDelegate(MSFlexGrid1));
    MSFlexGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MSFlexGrid1->setTabKeyNavigation(false);
    MSFlexGrid1->setWordWrap(false);
    MSFlexGrid1->setTextElideMode(Qt::ElideNone);
    MSFlexGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    MSFlexGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MSFlexGrid1->setCornerButtonEnabled(false);
    const QFont font = GridFont();
    MSFlexGrid1->setFont(font);
    MSFlexGrid1->horizontalHeader()->setFont(font);
    MSFlexGrid1->verticalHeader()->setFont(font);
    MSFlexGrid1->horizontalHeader()->setTextElideMode(Qt::ElideNone);
    MSFlexGrid1->verticalHeader()->setTextElideMode(Qt::ElideNone);
    MSFlexGrid1->horizontalHeader()->setHighlightSections(false);
    MSFlexGrid1->verticalHeader()->setHighlightSections(false);
    // Column widths: the header text's width in the grid font plus the cell margin.
    const QFontMetrics metrics(font);
    const int margin = 6;
    auto width = [&](int col) {
        return metrics.horizontalAdvance(QString(grid_.ColumnWidthChars(col), QLatin1Char('0'))) +
               margin;
    };
    QHeaderView* columns = MSFlexGrid1->horizontalHeader();
    columns->setMinimumSectionSize(1);
    columns->setSectionResizeMode(QHeaderView::Fixed);
    for (int c = 1; c < DumpGrid::kCols; ++c) columns->resizeSection(c - 1, width(c));
    QHeaderView* rows = MSFlexGrid1->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(metrics.height() + 2);
    rows->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The label column's header text is two characters wide, but its labels run up to three
    // (7F0, 800): widen it to show them whole rather than cut the address off.
    rows->setFixedWidth(std::max(width(0), metrics.horizontalAdvance(QStringLiteral("800")) + margin));
    columns->setFixedHeight(metrics.height() + 4);

    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(Twips(5265, 990, 105, 4740));
    Frame1->setFrameShape(QFrame::NoFrame);
    Frame1->setAutoFillBackground(true);
    QPalette bar = Frame1->palette();
    bar.setColor(QPalette::Window, QColor(192, 192, 192));
    Frame1->setPalette(bar);
    Frame1->setFocusPolicy(Qt::NoFocus);
    Frame1->raise();  // drawn above the grid

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);

    // Tab order: Command7, Command8, Text4, Command1, MSFlexGrid1, (Frame1 takes no focus),
    // Command2, Command3, Command4, and round again.
    QWidget::setTabOrder(Command7, Command8);
    QWidget::setTabOrder(Command8, Text4);
    QWidget::setTabOrder(Text4, Command1);
    QWidget::setTabOrder(Command1, MSFlexGrid1);
    QWidget::setTabOrder(MSFlexGrid1, Command2);
    QWidget::setTabOrder(Command2, Command3);
    QWidget::setTabOrder(Command3, Command4);
    QWidget::setTabOrder(Command4, Command7);
    Command7->setFocus();
}

// ---- the boundary ----------------------------------------------------------------------------

template <typename Body>
void Form1::Guarded(const QString& what, Body body) {
    // A click already queued when the window closed (handled by the event processing of a
    // pause that is still unwinding) must not reach the bus.
    if (unloaded_) return;
    try {
        body();
    } catch (const OperationCancelled&) {
        // The window closed inside a pause: the operation ends there, silently.
    } catch (const BusError& e) {
        ShowMessage(QMessageBox::Critical, QStringLiteral("Шина не свободна"),
                    QStringLiteral("%1\n\nОперация «%2» не выполнена.")
                        .arg(QString::fromUtf8(e.what()), what));
    } catch (const PortError& e) {
        ShowMessage(QMessageBox::Critical, QStringLiteral("Ошибка порта"),
                    QStringLiteral("%1\n\nОперация «%2» прервана. Окно остаётся в работе: следующее "
                                   "нажатие снова обратится к порту.")
                        .arg(QString::fromUtf8(e.what()), what));
    } catch (const std::exception& e) {
        ShowMessage(QMessageBox::Critical, QStringLiteral("Ошибка"),
                    QStringLiteral("Операция «%1» прервана из-за внутренней ошибки: %2")
                        .arg(what, QString::fromUtf8(e.what())));
    } catch (...) {
        ShowMessage(QMessageBox::Critical, QStringLiteral("Ошибка"),
                    QStringLiteral("Операция «%1» прервана из-за неизвестной ошибки.").arg(what));
    }
    FlushGrid(false);
}

void Form1::ShowMessage(QMessageBox::Icon icon, const QString& title, const QString& text) {
    if (!messageSink_) return;
    if (!shownOnce_ && !unloaded_) {
        // Before the window is on screen (a failure at load): show it once the window is up.
        deferredMessages_.push_back([this, icon, title, text] { messageSink_(icon, title, text); });
        return;
    }
    try {
        messageSink_(icon, title, text);
    } catch (...) {
        // A message that cannot be shown must not take the window down.
    }
}

void Form1::ReportUnanswered(const OperationResult& result) {
    const std::string text = OperationWarning(result);
    if (text.empty() || unloaded_) return;
    ShowMessage(QMessageBox::Warning, QStringLiteral("Память не отвечает"), Utf8(text));
}

// ---- event procedures ------------------------------------------------------------------------

void Form1::Load() {
    Guarded(QStringLiteral("Запуск"), [this] { Form_Load(); });
}

void Form1::Form_Load() {
    // Bus at rest: data line first, then the clock line. The first port access.
    bus_.SetSDA(kTrue);
    bus_.SetSCL(kTrue);
}

void Form1::Form_Unload() {
    // A port that never opened has no bus to leave at rest; opening it now would only fail again.
    if (!port_.EverOpened()) return;
    // Bus at rest: clock line first, then the data line. If SDA was low this is a stop.
    bus_.SetSCL(kTrue);
    bus_.SetSDA(kTrue);
}

void Form1::Form_Resize() {
    const QRect outer = frameGeometry();
    ApplyLayout(static_cast<float>(outer.width() * kTwipsPerPixel),
                static_cast<float>(outer.height() * kTwipsPerPixel));
}

void Form1::ApplyLayout(float outerWidthTwips, float outerHeightTwips) {
    // Three independent steps: a refused size leaves its control as it was, the next step runs.
    auto step = [](QWidget* control, float twips, bool width) {
        try {
            if (!std::isfinite(twips) || twips < 0.0f) return;  // refused
            const int px = static_cast<int>(std::lround(twips / kTwipsPerPixel));
            if (width)
                control->resize(px, control->height());
            else
                control->resize(control->width(), px);
        } catch (...) {
        }
    };
    step(Text4, outerWidthTwips - 5550.0f, true);
    step(MSFlexGrid1, outerHeightTwips - 1500.0f, false);
    step(Frame1, outerHeightTwips - 1600.0f, false);
}

void Form1::Command1_Click() {
    Guarded(QStringLiteral("Чтение блоками"), [this] {
        pause_.Settle();
        const OperationResult r = BlockRead(bus_, grid_, *this);
        FlushGrid(true);
        ReportUnanswered(r);
    });
}

void Form1::Command4_Click() {
    Guarded(QStringLiteral("Чтение пабайтно"), [this] {
        pause_.Settle();
        const OperationResult r = ByteRead(bus_, grid_, *this);
        FlushGrid(true);
        ReportUnanswered(r);
    });
}

void Form1::Command7_Click() {
    Guarded(QStringLiteral("Поиск"), [this] {
        pause_.Settle();
        BusScan(bus_, *this);
    });
}

void Form1::Command2_Click() {
    Guarded(QStringLiteral("Запись блоками"), [this] {
        pause_.Settle();
        ReportUnanswered(BlockFill(bus_, *this, pause_, &journal_));
    });
}

void Form1::Command3_Click() {
    Guarded(QStringLiteral("Запись пабайтно"), [this] {
        pause_.Settle();
        ReportUnanswered(PatternWrite(bus_, *this, pause_, &journal_));
    });
}

void Form1::Command8_Click() {
    Guarded(QStringLiteral("CLS"), [this] {
        SetText("");
        grid_.Clear();
    });
}

void Form1::Pause(const float& seconds) { pause_.Pause(seconds); }

// ---- Qt events -------------------------------------------------------------------------------

void Form1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void Form1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Form_Resize();
    if (!shownOnce_) {
        shownOnce_ = true;
        if (!deferredMessages_.empty()) {
            QTimer::singleShot(0, this, [this] {
                auto messages = std::move(deferredMessages_);
                deferredMessages_.clear();
                for (auto& show : messages) show();
            });
        }
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    if (!unloaded_) {
        try {
            Form_Unload();
        } catch (...) {
            // The window is going away and the port is not there: nothing is left to do about
            // it, and a message now would only be in the way of the close.
        }
        unloaded_ = true;
        // A write waiting in a pause ends there, without another transaction.
        pause_.Cancel();
    }
    event->accept();  // the close is never refused
}

// ---- feedback --------------------------------------------------------------------------------

void Form1::SetCaption(const std::string& text) {
    if (unloaded_) return;
    setWindowTitle(Utf8(text));
}

std::string Form1::GetText() {
    return Text4->toPlainText().toStdString();
}

void Form1::SetText(const std::string& text) {
    if (unloaded_) return;
    Text4->setPlainText(Utf8(text));
    // Show the scan's progress without processing events: repaint the box directly, at most
    // about 30 times a second.
    const auto now = std::chrono::steady_clock::now();
    if (isVisible() && now - lastTextPaint_ >= kPaintInterval) {
        lastTextPaint_ = now;
        Text4->viewport()->repaint();
    }
}

QPushButton* Form1::Button(Control target) const {
    switch (target) {
        case Control::Command1: return Command1;
        case Control::Command2: return Command2;
        case Control::Command3: return Command3;
        case Control::Command4: return Command4;
        case Control::Command7: return Command7;
        case Control::Command8: return Command8;
        case Control::Form1: break;
    }
    return nullptr;
}

void Form1::SetEnabled(Control target, Bool16 enabled) {
    if (unloaded_) return;
    const bool on = enabled != 0;
    if (target == Control::Form1)
        setEnabled(on);
    else
        Button(target)->setEnabled(on);
}

void Form1::Beep() {
    if (unloaded_) return;
    if (beepSink_) beepSink_();
}

// ---- showing the grid as it fills ------------------------------------------------------------

void Form1::OnGridChanged() {
    gridDirty_ = true;
    if (!isVisible()) return;
    if (std::chrono::steady_clock::now() - lastPaint_ >= kPaintInterval) FlushGrid(true);
}

void Form1::FlushGrid(bool paintNow) {
    if (!gridDirty_) return;
    gridDirty_ = false;
    model_->Refresh();
    if (paintNow && isVisible() && !unloaded_) {
        // Paint straight away, without processing any window event: input that arrives during
        // a read waits until the read has ended.
        lastPaint_ = std::chrono::steady_clock::now();
        MSFlexGrid1->viewport()->repaint();
        MSFlexGrid1->verticalHeader()->viewport()->repaint();
        MSFlexGrid1->horizontalHeader()->viewport()->repaint();
    }
}

}  // namespace lpt::ui
