#include "ui/form1.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <cmath>
#include <stdexcept>

#include "common/user_error.h"
#include "operations/bus_check.h"
#include "ui/dump_view.h"
#include "ui/grid_table_model.h"
#include "ui/language.h"
#include "ui/operation_messages.h"

namespace lpt::ui {

namespace {

// The scan's text box repaints during a scan at most this often: about 30 times a second.
constexpr auto kTextPaintInterval = std::chrono::milliseconds(33);

QString Utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

// The scan as the window shows it: each address byte that answered appended to the text box in
// hex, before its probe's stop; each address probed in decimal in the caption, after it.
class Form1::TextBoxScan : public ScanListener {
public:
    explicit TextBoxScan(Form1& form) : form_(form) {}
    void Answered(std::uint8_t address) override {
        form_.SetText(form_.GetText() + HexForm(address) + " ");
    }
    void Probed(std::uint8_t address) override { form_.SetCaption(std::to_string(address)); }

private:
    Form1& form_;
};

// The controls a run takes out of use: disabled when Hold() is called, enabled again in the same
// order by Release() or, on a failure, when it goes out of scope; not once the window has closed.
class Form1::HeldControls {
public:
    HeldControls(Form1& form, const std::vector<Control>& controls)
        : form_(form), controls_(controls) {}
    ~HeldControls() { Release(); }
    HeldControls(const HeldControls&) = delete;
    HeldControls& operator=(const HeldControls&) = delete;

    void Hold() {
        if (held_) return;
        held_ = true;
        for (Control c : controls_) form_.SetEnabled(c, false);
    }
    bool Held() const { return held_; }
    void Release() {
        if (!held_ || form_.unloaded_) return;
        held_ = false;
        for (Control c : controls_) form_.SetEnabled(c, true);
    }

private:
    Form1& form_;
    const std::vector<Control>& controls_;
    bool held_ = false;
};

// One button of the window: its control, object name, caption (the Russian text as written,
// UTF-8; tr() gives it in the window's language), place in twips, click procedure, and the work
// its click does behind the boundary. A bus button's work first waits for the memory to be out
// of any write cycle a pause covers, and the grid shows what it read as soon as it ends.
// `disables` take no input while the work runs: disabled in that order once the work's bus
// check has passed (it calls `busReady`), enabled again in the same order on every way out.
// `work` gives the operation's result when there is one to report.
struct Form1::ButtonEntry {
    Control control;
    const char* name;
    const char* caption;
    int left, top, width, height;
    void (Form1::*click)();
    bool drivesBus;
    std::vector<Control> disables;
    bool beeps;  // once the work has ended, after the enabling
    std::optional<OperationResult> (*work)(Form1& form, const BusReady& busReady);
};

const Form1::ButtonEntry Form1::kButtons[] = {
    {Control::Command1, "Command1", QT_TRANSLATE_NOOP("lpt::ui::Form1", "Чтение блоками"), 90, 90,
     1635, 330, &Form1::Command1_Click, true, {}, true,
     [](Form1& f, const BusReady&) -> std::optional<OperationResult> {
         f.ForgetDump();
         return f.KeepRead(BlockRead(*f.memoryBus_, f.grid_));
     }},
    {Control::Command4, "Command4", QT_TRANSLATE_NOOP("lpt::ui::Form1", "Чтение пабайтно"), 1755,
     90, 1725, 330, &Form1::Command4_Click, true, {}, true,
     [](Form1& f, const BusReady&) -> std::optional<OperationResult> {
         f.ForgetDump();
         return f.KeepRead(ByteRead(*f.memoryBus_, f.grid_));
     }},
    {Control::Command7, "Command7", QT_TRANSLATE_NOOP("lpt::ui::Form1", "Поиск"), 3510, 90, 1545,
     330, &Form1::Command7_Click, true, {}, false,
     [](Form1& f, const BusReady&) -> std::optional<OperationResult> {
         TextBoxScan shown(f);
         BusScan(*f.memoryBus_, shown);
         return std::nullopt;  // what the scan found is in the text box
     }},
    // The fill takes the whole window, its own button included, out of use while it runs.
    {Control::Command2, "Command2", QT_TRANSLATE_NOOP("lpt::ui::Form1", "Запись блоками"), 90, 450,
     1635, 330, &Form1::Command2_Click, true, {Control::Form1, Control::Command2}, true,
     [](Form1& f, const BusReady& busReady) -> std::optional<OperationResult> {
         return BlockFill(*f.memoryBus_, f.pause_, &f.journal_, busReady);
     }},
    {Control::Command3, "Command3", QT_TRANSLATE_NOOP("lpt::ui::Form1", "Запись пабайтно"), 1755,
     450, 1725, 330, &Form1::Command3_Click, true, {Control::Command3}, true,
     [](Form1& f, const BusReady& busReady) -> std::optional<OperationResult> {
         return PatternWrite(*f.memoryBus_, f.pause_, &f.journal_, busReady);
     }},
    {Control::Command8, "Command8", QT_TRANSLATE_NOOP("lpt::ui::Form1", "CLS"), 3510, 450, 1545,
     330, &Form1::Command8_Click, false, {}, false,
     [](Form1& f, const BusReady&) -> std::optional<OperationResult> {
         f.SetText("");
         f.grid_.Clear();
         f.ForgetDump();
         return std::nullopt;
     }},
};

const Form1::ButtonEntry& Form1::Entry(Control target) {
    for (const ButtonEntry& entry : kButtons)
        if (entry.control == target) return entry;
    throw std::logic_error("no such button");
}

Form1::Form1(Port& port, ClockFn clock, QWidget* parent)
    : Form1(port, DirectCable(), std::move(clock), parent) {}

Form1::Form1(Port& port, const Cable& cable, ClockFn clock, QWidget* parent)
    : QWidget(parent),
      port_(&port),
      clock_(clock),
      lines_(std::make_unique<I2CBus>(port, SteadyNow, cable)),
      memoryBus_(std::make_unique<LineMemoryBus>(*lines_, clock, memory_)),
      pause_(std::move(clock), [] { QApplication::processEvents(); }, SleepBriefly) {
    Build();
}

Form1::Form1(std::unique_ptr<MemoryBus> memory, ClockFn clock, QWidget* parent)
    : QWidget(parent),
      port_(nullptr),
      clock_(clock),
      memoryBus_(std::move(memory)),
      pause_(std::move(clock), [] { QApplication::processEvents(); }, SleepBriefly) {
    memoryBus_->SetMemory(memory_);
    Build();
}

void Form1::Build() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(tr("Form1"));
    messageSink_ = [this](QMessageBox::Icon icon, const QString& title, const QString& text) {
        QMessageBox box(icon, title, text, QMessageBox::Ok, isVisible() ? this : nullptr);
        box.exec();
    };
    beepSink_ = [] { QApplication::beep(); };
    outerSize_ = [this] { return frameGeometry().size(); };
    BuildControls();
    BuildActions();
    if (!lines_) {
        // A kernel adapter: its driver sets the bus clock, and there is no cable to test.
        for (const char* name : {"actionCableTest", "actionSpeed"}) {
            QAction* action = findChild<QAction*>(QString::fromLatin1(name));
            action->setEnabled(false);
            action->setToolTip(tr("Не для адаптера I2C ядра"));
        }
    }
    grid_.SetChangeListener([this](int row, int) { MSFlexGrid1->NoteChange(row); });
}

Form1::~Form1() {
    grid_.SetChangeListener(nullptr);
    // The view and its model read grid_, which goes before the QWidget base deletes its
    // children: take them down first.
    delete MSFlexGrid1;
}

GridTableModel& Form1::GridModel() { return MSFlexGrid1->Model(); }

void Form1::BuildControls() {
    // Client area as laid out: 8910 x 5865 twips.
    resize(8910 / kTwipsPerPixel, 5865 / kTwipsPerPixel);

    for (size_t i = 0; i < buttons_.size(); ++i) {
        const ButtonEntry& entry = kButtons[i];
        auto* b = new QPushButton(tr(entry.caption), this);
        b->setObjectName(QString::fromLatin1(entry.name));
        b->setGeometry(Twips(entry.left, entry.top, entry.width, entry.height));
        b->setAutoDefault(false);
        b->setDefault(false);
        connect(b, &QPushButton::clicked, this, entry.click);
        buttons_[i] = b;
    }

    Text4 = new QPlainTextEdit(this);
    Text4->setObjectName(QStringLiteral("Text4"));
    Text4->setGeometry(Twips(5175, 90, 3615, 645));
    Text4->setTabChangesFocus(true);
    Text4->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    MSFlexGrid1 = new DumpView(grid_, this);
    MSFlexGrid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    MSFlexGrid1->setGeometry(Twips(90, 855, 8745, 4920));

    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(MSFlexGrid1->BarGeometry(4740));
    Frame1->setFrameShape(QFrame::NoFrame);
    Frame1->setAutoFillBackground(true);
    QPalette bar = Frame1->palette();
    bar.setColor(QPalette::Window, QColor(192, 192, 192));
    Frame1->setPalette(bar);
    Frame1->setFocusPolicy(Qt::NoFocus);
    Frame1->raise();  // drawn above the grid

    // Tab order: Command7, Command8, Text4, Command1, MSFlexGrid1, (Frame1 takes no focus),
    // Command2, Command3, Command4, and round again.
    const std::array<QWidget*, 9> order = {
        Button(Control::Command7), Button(Control::Command8), Text4,
        Button(Control::Command1), MSFlexGrid1,               Button(Control::Command2),
        Button(Control::Command3), Button(Control::Command4), Button(Control::Command7)};
    for (size_t i = 0; i + 1 < order.size(); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
    Button(Control::Command7)->setFocus();
}

// ---- the boundary ----------------------------------------------------------------------------

void Form1::Guarded(const QString& what, const std::function<void()>& body) {
    // A click already queued when the window closed (handled by the event processing of a
    // pause that is still unwinding) must not reach the bus.
    if (unloaded_) return;
    // The chip cannot change while an operation is under way (a write's pauses process events).
    struct Busy {
        Form1& f;
        explicit Busy(Form1& form) : f(form) {
            if (f.busy_++ == 0 && f.chipEntries_) {
                f.chipEntries_->setEnabled(false);
                f.detectAction_->setEnabled(false);
            }
        }
        ~Busy() {
            if (--f.busy_ == 0 && f.chipEntries_) {
                f.chipEntries_->setEnabled(true);
                f.detectAction_->setEnabled(true);
            }
        }
    } busy(*this);
    try {
        body();
    } catch (const OperationCancelled&) {
        // The window closed inside a pause: the operation ends there, silently.
    } catch (const UserError& e) {
        // The cause and the remedy, then what became of the operation: after a bus fault nothing
        // more went to the bus; after a port fault the next click tries the port again.
        QString title, after;
        switch (e.Kind()) {
            case ErrorKind::Bus:
                title = tr("Ошибка на шине I2C");
                after = tr("Операция «%1» остановлена: больше ничего на шину не отправлено.");
                break;
            case ErrorKind::Port:
                title = tr("Ошибка порта");
                after = tr("Операция «%1» прервана. Окно остаётся в работе: следующее нажатие "
                           "снова обратится к порту.");
                break;
            case ErrorKind::Usage:
                title = tr("Неверный выбор");
                after = tr("Операция «%1» не выполнена.");
                break;
            case ErrorKind::File:
                title = tr("Ошибка файла");
                after = tr("Операция «%1» прервана.");
                break;
        }
        ShowMessage(QMessageBox::Critical, title,
                    ErrorText(e) + QStringLiteral("\n\n") + after.arg(what) +
                        (e.Kind() == ErrorKind::Bus ? SpeedHint() : QString()));
    } catch (const std::exception& e) {
        ShowMessage(QMessageBox::Critical, tr("Ошибка"),
                    tr("Операция «%1» прервана из-за внутренней ошибки: %2")
                        .arg(what, QString::fromUtf8(e.what())));
    } catch (...) {
        ShowMessage(QMessageBox::Critical, tr("Ошибка"),
                    tr("Операция «%1» прервана из-за неизвестной ошибки.").arg(what));
    }
    MSFlexGrid1->PublishChanges();
    if (closeHeld_ && isEnabled()) {
        // The fill that held the close has ended: the close goes ahead now.
        closeHeld_ = false;
        close();
    }
}

// The runner of every button: behind the boundary, a bus button first waits out any write
// cycle a pause in progress covers, runs its operation with what it disables held out of use,
// then (clicks queued meanwhile dropped) enables them again, beeps, shows at once what the grid
// got, and says what the operation's result says went wrong.
void Form1::Run(Control button) {
    const ButtonEntry& entry = Entry(button);
    Guarded(tr(entry.caption), [this, &entry] {
        if (entry.drivesBus) pause_.Settle();
        HeldControls held(*this, entry.disables);
        const std::optional<OperationResult> result = entry.work(*this, [&held] { held.Hold(); });
        if (held.Held()) DropQueuedInput();
        held.Release();
        if (entry.beeps) Beep();
        if (entry.drivesBus) MSFlexGrid1->PaintChanges();
        if (result) ReportUnanswered(*result);
    });
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
    const std::string text = OperationWarning(result, memory_);
    if (text.empty() || unloaded_) return;
    ShowMessage(QMessageBox::Warning, tr("Память не отвечает"), Utf8(text) + SpeedHint());
}

// ---- event procedures ------------------------------------------------------------------------

void Form1::Load() {
    Guarded(tr("Запуск"), [this] { Form_Load(); });
}

void Form1::Form_Load() {
    if (!lines_) return;  // a kernel adapter leaves its bus at rest between transactions
    // Bus at rest: data line first, then the clock line. The first port access.
    lines_->SetSDA(kTrue);
    lines_->SetSCL(kTrue);
}

void Form1::Form_Unload() {
    // A port that never opened has no bus to leave at rest; opening it now would only fail again.
    if (!lines_ || !port_->EverOpened()) return;
    // Bus at rest: clock line first, then the data line. If SDA was low this is a stop.
    lines_->SetSCL(kTrue);
    lines_->SetSDA(kTrue);
}

void Form1::Form_Resize() {
    const QSize outer = outerSize_();
    laidOutFor_ = outer;
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

void Form1::Command1_Click() { Run(Control::Command1); }
void Form1::Command4_Click() { Run(Control::Command4); }
void Form1::Command7_Click() { Run(Control::Command7); }
void Form1::Command2_Click() { Run(Control::Command2); }
void Form1::Command3_Click() { Run(Control::Command3); }
void Form1::Command8_Click() { Run(Control::Command8); }

void Form1::Pause(const float& seconds) { pause_.Pause(seconds); }

// ---- Qt events -------------------------------------------------------------------------------

bool Form1::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    switch (event->type()) {
        case QEvent::Move:
        case QEvent::WindowStateChange:
        case QEvent::ActivationChange:
            // A window manager puts its frame round the window after the first layout, which
            // could only use the inner size; the frame shows up as a move (the inner area shifts
            // by the frame) or at the latest when the window is activated, and no resize
            // follows. Apply the rule again once the outer size is not what it last ran for.
            if (isVisible() && outerSize_() != laidOutFor_) Form_Resize();
            break;
        default: break;
    }
    return handled;
}

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
    if (!unloaded_ && !isEnabled()) {
        // The fill has the whole window disabled and sits in one of its pauses. Ended there it
        // would leave the first bytes part-erased; it takes about 0.1 s in all, so the close waits for
        // it and goes ahead as soon as it ends (see Guarded).
        closeHeld_ = true;
        event->ignore();
        return;
    }
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

// ---- what a run shows ------------------------------------------------------------------------

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
    if (isVisible() && now - lastTextPaint_ >= kTextPaintInterval) {
        lastTextPaint_ = now;
        Text4->viewport()->repaint();
    }
}

QPushButton* Form1::Button(Control target) const {
    for (size_t i = 0; i < buttons_.size(); ++i)
        if (kButtons[i].control == target) return buttons_[i];
    return nullptr;
}

void Form1::SetEnabled(Control target, bool enabled) {
    if (unloaded_) return;
    QWidget* control = target == Control::Form1 ? static_cast<QWidget*>(this) : Button(target);
    control->setEnabled(enabled);
    if (enablingListener_) enablingListener_(control->objectName(), enabled);
}

void Form1::Beep() {
    if (unloaded_) return;
    if (beepSink_) beepSink_();
}

// A write's read-back (and the tail of its last pause) runs without processing events. A click
// made meanwhile is not lost: it waits in the queue (X11 input in the display connection and in
// Qt's window-system queue, events posted inside the program in the posted-event queue) and
// would act as soon as the window takes input again: a block read after the fill, a second
// pattern write. Taking it out of the queue is not something Qt offers for spontaneous input
// (removePostedEvents sees only posted events, and ExcludeUserInputEvents leaves input queued).
// Nor can its timestamp say when it came: X11 stamps input with the display server's clock.
// So the queue is delivered here, while the controls the write disabled are still disabled,
// through an application-wide filter that drops every input event that would act (a press, a
// key press, a shortcut, a wheel turn, a context menu) meant for this window. Input made during
// the read-back (it lasts milliseconds) has reached the program by now, so all of it is
// delivered, and dropped, before the controls are enabled; a click made after they are enabled
// acts as usual. The loop goes on while there are events to deliver (one turn reads the display
// connection, the next delivers what it read), for at most kInputDrainMs. Releases pass: with
// their press dropped they act on nothing, and a button pressed before the read-back is not
// left held down. Everything else is handled as in a pause's turn: paints, timers, a close
// (held during the fill, as in its pauses).
void Form1::DropQueuedInput() {
    if (unloaded_) return;
    constexpr int kInputDrainMs = 20;
    if (droppingInput_++ == 0) qApp->installEventFilter(this);
    struct Restore {
        Form1& f;
        ~Restore() {
            if (--f.droppingInput_ == 0) qApp->removeEventFilter(&f);
        }
    } restore{*this};
    QCoreApplication::processEvents(QEventLoop::AllEvents, kInputDrainMs);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (droppingInput_ > 0) {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
            case QEvent::KeyPress:
            case QEvent::Shortcut:
            case QEvent::Wheel:
            case QEvent::ContextMenu:
            case QEvent::TouchBegin:
            case QEvent::TabletPress: {
                // Meant for this window: its native window (where X11 input arrives first), the
                // window itself, its controls, or its actions (the shortcuts).
                if (watched == windowHandle()) return true;
                for (QObject* o = watched; o; o = o->parent())
                    if (o == this) return true;
                break;
            }
            default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace lpt::ui
