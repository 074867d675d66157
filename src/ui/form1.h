// The main window: six buttons, the dump grid, the text box for the scan results and the grey
// bar over the grid. It owns the bus (and with it Ack), the grid and the timed pause, and runs
// each operation from its button's click on the window's one thread.
//
// Every event procedure runs behind one boundary: a failure ends the procedure there and shows
// a message with the cause and the remedy; the window stays usable and the next click tries the
// port again. The buttons are one table (name, caption, place, what the window takes no input
// on meanwhile, whether it beeps, work); every button's click goes through one runner. The
// operations only return what they found: the runner disables, enables, beeps and reports.
#pragma once

#include <QMessageBox>
#include <QWidget>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "bus/i2c_bus.h"
#include "common/chips.h"
#include "operations/dump_grid.h"
#include "operations/image_operations.h"
#include "operations/operations.h"
#include "operations/timed_pause.h"
#include "ui/twips.h"

class QAction;
class QActionGroup;
class QFrame;
class QSettings;
class QPlainTextEdit;
class QPushButton;

namespace lpt::ui {

class DumpView;
class GridTableModel;

// The bus speed the window's menu last kept in the settings; standard when none.
BusSpeed StoredSpeed();

// The window and the buttons a run can disable.
enum class Control { Form1, Command1, Command2, Command3, Command4, Command7, Command8 };

class Form1 : public QWidget {
    Q_OBJECT
public:
    // `clock` drives the timed pause (monotonic; tests hand in a virtual one).
    explicit Form1(Port& port, ClockFn clock = SteadyNow, QWidget* parent = nullptr);
    // The same, with the bus driven through `cable` (fixed for the window's life).
    Form1(Port& port, const Cable& cable, ClockFn clock = SteadyNow, QWidget* parent = nullptr);
    // The memory on a bus without lines of its own to drive (a kernel I2C adapter): no cable to
    // test, no bus speed to choose. `memory`'s clock must be `clock`.
    explicit Form1(std::unique_ptr<MemoryBus> memory, ClockFn clock = SteadyNow,
                   QWidget* parent = nullptr);
    ~Form1() override;

    // Runs Form_Load behind the boundary; call once, before show().
    void Load();

    // Waits at least `seconds`, processing window events meanwhile.
    void Pause(const float& seconds);

    // The layout rule for an outer size in twips (what Form_Resize applies).
    void ApplyLayout(float outerWidthTwips, float outerHeightTwips);

    // The bus procedures on the port's lines (not on a kernel adapter).
    I2CBus& Bus() { return *lines_; }
    // The memory's transactions, on whichever bus the window has.
    MemoryBus& Memory() { return *memoryBus_; }
    // The bus mode for this run, as the command line gives it: checked in the "Скорость шины"
    // menu, not kept in the settings. Without it the window starts at the mode last chosen there.
    void SetSpeed(BusSpeed speed);
    DumpGrid& Grid() { return grid_; }
    GridTableModel& GridModel();
    bool Unloaded() const { return unloaded_; }
    // A close asked for while the fill had the whole window disabled, not carried out yet.
    bool CloseHeld() const { return closeHeld_; }

    // Where messages go (a modal box by default) and what a beep does (the system beep by
    // default). Tests replace both.
    using MessageSink =
        std::function<void(QMessageBox::Icon icon, const QString& title, const QString& text)>;
    void SetMessageSink(MessageSink sink) { messageSink_ = std::move(sink); }
    void SetBeepSink(std::function<void()> beep) { beepSink_ = std::move(beep); }
    // Told of every change a run makes to whether the window or a button takes input, after it
    // is made, with the control's object name. Tests watch the order through it.
    using EnablingListener = std::function<void(const QString& control, bool enabled)>;
    void SetEnablingListener(EnablingListener listener) { enablingListener_ = std::move(listener); }
    // What a pause does between its turns (a short sleep by default).
    void SetPauseIdle(std::function<void(TimeNs)> idle) { pause_.SetIdle(std::move(idle)); }
    // Where the layout rule reads the window's outer size, in pixels: frameGeometry() by
    // default. A window manager's frame becomes known only some time after the window is shown;
    // tests hand in a frame of their own.
    void SetOuterSizeSource(std::function<QSize()> source) { outerSize_ = std::move(source); }

    // The file dialogs and the confirmation of the data actions: a QFileDialog and a question
    // box by default; tests hand in their own. `choose` gives the path chosen (empty: cancelled)
    // for saving (`save`) or opening, with the name filter the user picked; `confirm` asks a
    // yes/no question whose safe answer is no.
    struct FileDialogs {
        std::function<QString(bool save, const QString& title, QString* selectedFilter)> choose;
        std::function<bool(const QString& title, const QString& text)> confirm;
    };
    void SetFileDialogs(FileDialogs dialogs) { dialogs_ = std::move(dialogs); }
    // The bytes of the last complete read the grid shows, if there is one.
    const std::optional<MemoryBytes>& LastRead() const { return lastRead_; }

    // The memory the buttons, the grid and the files assume: the 24c16 until another is chosen.
    const ChipChoice& Chip() const { return chip_; }
    // Assumes `chip` from now on: the grid gets its size and is cleared, the last read is
    // forgotten, its menu entry is checked. Not remembered: the start chip is set so.
    void SetChip(const ChipChoice& chip);
    // Where a chip chosen in the menu (or offered by detect) is remembered; nothing by default.
    void RememberChipsIn(QSettings* settings) { chipSettings_ = settings; }
    // Whether an operation is under way (the chip cannot change meanwhile).
    bool Busy() const { return busy_ > 0; }

public slots:
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void Command1_Click();
    void Command4_Click();
    void Command7_Click();
    void Command2_Click();
    void Command3_Click();
    void Command8_Click();

    // The grid's data actions (its context menu and the window's shortcuts).
    void SaveToFile();         // Ctrl+S: the last complete read into a file
    void CopySelection();      // Ctrl+C: the selected cells as hex rows with their addresses
    void SelectAllCells();     // Ctrl+A
    void WriteFileToMemory();  // Ctrl+O: a file onto the memory, with read-back
    void CompareWithFile();    // the memory against a file; differing cells marked
    void CheckCable();         // the cable test, its report in a message
    // The "Микросхема" submenu: the chip of that entry, remembered; refused while busy.
    void ChooseChipFromMenu(const lpt::Chip* chip);
    // Which memory is on the bus; offers the one part that fits.
    void DetectChip();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct ButtonEntry;
    class HeldControls;
    class TextBoxScan;
    static const ButtonEntry kButtons[];
    static const ButtonEntry& Entry(Control target);

    // What both constructors do once the bus is there.
    void Build();
    void BuildControls();
    void BuildActions();
    void BuildChipMenu();
    // Checks the menu entry of the chip assumed, and no other.
    void CheckChipEntry();
    // A yes/no question through the confirm dialog, `accept` the caption of its yes.
    bool Ask(const QString& title, const QString& text, const QString& accept);
    // The bus speed submenu (speed_menu.cpp): a choice from it is applied, kept and warned about.
    void BuildSpeedMenu();
    void ChooseSpeed(BusSpeed speed);
    static QString RateText(BusSpeed speed);
    // After a failure a fast bus may explain: a line that says so and how to go back (empty at
    // standard speed).
    QString SpeedHint() const;
    // Opens a file through the dialogs and reads it whole; nothing when cancelled or refused
    // (the refusal is shown).
    std::optional<MemoryImage> ChooseImage(const QString& title, QString* path);
    // Puts the whole memory into the grid the way a read places it.
    void ShowBytes(const MemoryBytes& bytes);
    // The grid no longer holds a complete read (a read starts, CLS): nothing to save, no marks.
    void ForgetDump();
    // A read that ran to its end with every transaction answered: its bytes are what the grid
    // shows, and what Save keeps.
    OperationResult KeepRead(OperationResult result);
    void Guarded(const QString& what, const std::function<void()>& body);
    void Run(Control button);
    void ShowMessage(QMessageBox::Icon icon, const QString& title, const QString& text);
    void ReportUnanswered(const OperationResult& result);
    QPushButton* Button(Control target) const;
    // Opens a file through the dialogs and, when it can be used, runs `body` with it behind the
    // boundary; nothing while a file write is under way.
    void WithImageFile(const QString& what, const QString& dialogTitle,
                       const std::function<void(const MemoryImage&, const QString&)>& body);

    // What the window shows and does for a run.
    void SetCaption(const std::string& text);
    std::string GetText();
    void SetText(const std::string& text);
    // false: the target takes no input; true: it takes input again.
    void SetEnabled(Control target, bool enabled);
    void Beep();
    // After a write's read-back, which runs without processing the window's events, and before
    // the controls the write disabled take input again: input that arrived meanwhile is dropped
    // instead of acting once they are enabled.
    void DropQueuedInput();

    Port* port_;     // none on a kernel adapter
    ClockFn clock_;  // the cable test's timing of port calls
    ChipChoice chip_;
    MemoryGeometry memory_ = chip_.Geometry();
    QSettings* chipSettings_ = nullptr;
    QActionGroup* chipEntries_ = nullptr;
    QAction* detectAction_ = nullptr;
    QString confirmAccept_;  // the yes of the question Ask puts
    int busy_ = 0;           // operations under way (nested in pauses counted)
    std::unique_ptr<I2CBus> lines_;  // the bus procedures; none on a kernel adapter
    std::unique_ptr<MemoryBus> memoryBus_;  // over lines_, or the adapter's; the chosen chip
    DumpGrid grid_;
    TimedPause pause_;
    WriteJournal journal_;  // shared by the writes, which can nest inside each other's pauses
    std::optional<MemoryBytes> lastRead_;  // the last complete read on the grid
    FileDialogs dialogs_;
    QString lastFolder_;        // where the file dialogs open
    bool fileWorkRunning_ = false;  // a file write is under way (its progress processes events)

    std::array<QPushButton*, 6> buttons_{};  // in the order of kButtons
    QPlainTextEdit* Text4 = nullptr;
    DumpView* MSFlexGrid1 = nullptr;
    QFrame* Frame1 = nullptr;
    QActionGroup* speedGroup_ = nullptr;

    MessageSink messageSink_;
    std::function<void()> beepSink_;
    EnablingListener enablingListener_;
    std::function<QSize()> outerSize_;
    QSize laidOutFor_;  // the outer size the layout rule last ran for
    bool unloaded_ = false;
    bool closeHeld_ = false;
    bool shownOnce_ = false;
    int droppingInput_ = 0;  // DropQueuedInput is delivering the queue (nested ones counted)
    std::vector<std::function<void()>> deferredMessages_;
    std::chrono::steady_clock::time_point lastTextPaint_{};
};

}  // namespace lpt::ui
