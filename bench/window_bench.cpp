// lpt-eeprom-window-bench: the window's two reads against the 100 kHz limit. It never passes
// or fails; compare the figures with the targets yourself.
//
// Each run builds the real window over a simulated port that declares the standard-mode line
// timing, so the bus driver keeps every minimum as it does on the real port, with the simulated
// memory on its wires. A decorator makes every port call cost a set time, spun on the monotonic
// clock before the call reaches the port (a ppdev ioctl costs about 1.5 us; the edge is taken as
// made when the call returns, which is where the bus driver counts each minimum from). The window
// is shown and the grid fills in view; the click is timed from the button's click to its return.
// The same read is also run without the window, straight on the bus: the bus driver's own floor,
// which the window's figure is to be compared with.
//
// The limit is the least time any 100 kHz master needs for the same traffic: every SCL rising
// edge on the wire begins a clock period of at least 10 us, so limit = rising edges x 10 us.
//
// Runs on whichever Qt platform is chosen: QT_QPA_PLATFORM=offscreen paints into memory only;
// under `xvfb-run` (or on a desktop) every paint also goes to an X server.
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bus/i2c_bus.h"
#include "operations/dump_grid.h"
#include "operations/operations.h"
#include "sim/sim_eeprom.h"
#include "sim/sim_port.h"
#include "sim/trace.h"
#include "sim/wire_events.h"
#include "support/costly_port.h"
#include "support/paint_log.h"
#include "ui/form1.h"

using namespace lpt;
using Clock = std::chrono::steady_clock;

namespace {

using testing::CostlyPort;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct RunFigures {
    double wallMs = 0;
    double limitMs = 0;
    int paints = 0;
    std::vector<std::string> violations;
};

// The simulated memory with its demonstration contents on a port that declares the real port's
// standard-mode timing, reached through a port that costs `cost` a call.
// The memory the runs use: the 24c16 unless --chip names another.
ChipChoice gChip;

struct SimMemory {
    sim::SimPort port{LineTiming::StandardMode()};
    sim::SimEeprom eeprom{SteadyNow, gChip};
    CostlyPort costly;

    explicit SimMemory(TimeNs cost) : costly(port, cost) {
        sim::LoadDemoContents(eeprom);
        port.Attach(eeprom);
    }
    ~SimMemory() { port.Detach(eeprom); }
    SimMemory(const SimMemory&) = delete;
    SimMemory& operator=(const SimMemory&) = delete;

    // Wall time against the limit of the traffic recorded since the last ClearCalls().
    RunFigures Figures(double wallMs) const {
        RunFigures figures;
        figures.wallMs = wallMs;
        const long edges = sim::CountWireEvents(port.Calls(), sim::WireEventKind::SclRise);
        figures.limitMs = 10.0 * static_cast<double>(edges) / 1000.0;
        figures.violations = sim::CheckTiming(port.Calls()).Violations(LineTiming::StandardMode());
        return figures;
    }
};

struct ReadKind {
    const char* name;
    const char* button;  // in the window
    OperationResult (*operation)(I2CBus&, DumpGrid&, const MemoryGeometry&);  // without it
};
const ReadKind kReads[] = {{"block read", "Command1", BlockRead},
                           {"byte read", "Command4", ByteRead}};

// The read without the window: the operation alone on the same port, into a bare grid.
RunFigures RunAlone(const ReadKind& read, TimeNs cost) {
    SimMemory memory(cost);
    I2CBus bus(memory.costly);
    bus.SetSDA(kTrue);
    bus.SetSCL(kTrue);
    DumpGrid grid(gChip.Part().size);
    memory.port.ClearCalls();
    const auto t0 = Clock::now();
    read.operation(bus, grid, gChip.Geometry());
    return memory.Figures(Ms(Clock::now() - t0));
}

// A fresh window over a fresh memory, shown and exposed.
class ShownWindow {
public:
    explicit ShownWindow(Port& port) : window_(port) {
        window_.SetMessageSink([](QMessageBox::Icon, const QString& title, const QString& text) {
            std::fprintf(stderr, "message: %s: %s\n", qPrintable(title), qPrintable(text));
        });
        window_.SetBeepSink([] {});
        window_.SetChip(gChip);
        window_.Load();
        window_.show();
        QElapsedTimer waited;
        waited.start();
        while (!(window_.windowHandle() && window_.windowHandle()->isExposed()) &&
               waited.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        QApplication::processEvents();
    }
    ~ShownWindow() { window_.close(); }
    QTableView* Grid() { return window_.findChild<QTableView*>(QStringLiteral("MSFlexGrid1")); }
    void Click(const char* button) {
        window_.findChild<QPushButton*>(QString::fromLatin1(button))->click();
    }

private:
    ui::Form1 window_;
};

// The read from its button in the window, the grid filling in view.
RunFigures RunInWindow(const ReadKind& read, TimeNs cost) {
    SimMemory memory(cost);
    ShownWindow window(memory.costly);
    testing::PaintLog paints;
    window.Grid()->viewport()->installEventFilter(&paints);
    memory.port.ClearCalls();
    const auto t0 = Clock::now();
    window.Click(read.button);
    RunFigures figures = memory.Figures(Ms(Clock::now() - t0));
    figures.paints = paints.Paints();
    window.Grid()->viewport()->removeEventFilter(&paints);
    return figures;
}

void Report(const ReadKind& read, TimeNs cost, int runs, bool window) {
    std::vector<RunFigures> all;
    for (int i = 0; i < runs; ++i)
        all.push_back(window ? RunInWindow(read, cost) : RunAlone(read, cost));
    std::sort(all.begin(), all.end(),
              [](const RunFigures& a, const RunFigures& b) { return a.wallMs < b.wallMs; });
    const RunFigures& median = all[all.size() / 2];
    size_t violations = 0;
    for (const auto& r : all) violations += r.violations.size();
    std::printf("%-10s %-6s port call %4.2f us: wall %7.2f ms (best %7.2f, worst %7.2f); "
                "limit %6.2f ms; ratio %.3f (best %.3f); paints %2d; violations %zu\n",
                read.name, window ? "window" : "alone",
                std::chrono::duration<double, std::micro>(cost).count(), median.wallMs,
                all.front().wallMs, all.back().wallMs, median.limitMs,
                median.wallMs / median.limitMs, all.front().wallMs / all.front().limitMs,
                median.paints, violations);
    for (const auto& r : all)
        for (const auto& line : r.violations) std::printf("    %s\n", line.c_str());
}

// What one synchronous paint of the grid costs: the whole view full of cells, one row, and the
// labels beside them.
void PaintCost() {
    SimMemory memory(TimeNs{0});
    ShownWindow window(memory.costly);
    window.Click("Command1");
    QApplication::processEvents();
    QTableView* grid = window.Grid();
    QWidget* viewport = grid->viewport();
    QWidget* labels = grid->verticalHeader()->viewport();
    auto time = [](QWidget* widget, const QRect& rect) {
        const int n = 50;
        const auto t0 = Clock::now();
        for (int i = 0; i < n; ++i) widget->repaint(rect);
        return Ms(Clock::now() - t0) / n;
    };
    const int rowHeight = grid->verticalHeader()->defaultSectionSize();
    const double full = time(viewport, viewport->rect());
    const double row = time(viewport, QRect(0, 0, viewport->width(), rowHeight));
    const double labelColumn = time(labels, labels->rect());
    const int cells = (viewport->height() / rowHeight + 1) * grid->model()->columnCount();
    std::printf("cells in view %.3f ms (about %d cells, %.2f us a cell); one row %.3f ms; "
                "labels in view %.3f ms\n",
                full, cells, 1000.0 * full / cells, row, labelColumn);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lpt-eeprom-window-bench"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Times the window's block read and byte read against the 100 kHz limit."));
    parser.addHelpOption();
    QCommandLineOption costOption(
        QStringList{QStringLiteral("c"), QStringLiteral("port-cost-ns")},
        QStringLiteral("Time every port call costs, in nanoseconds; give it more than once for "
                       "several costs (default: 1500 and 0)."),
        QStringLiteral("ns"));
    QCommandLineOption runsOption(QStringList{QStringLiteral("r"), QStringLiteral("runs")},
                                  QStringLiteral("Runs of each read; the median is shown "
                                                 "(default 3)."),
                                  QStringLiteral("n"), QStringLiteral("3"));
    QCommandLineOption chipOption(
        QStringLiteral("chip"),
        QStringLiteral("The memory (default 24c16). With another, only the block read is timed: "
                       "a byte read of a large memory takes minutes."),
        QStringLiteral("NAME"));
    parser.addOption(costOption);
    parser.addOption(runsOption);
    parser.addOption(chipOption);
    parser.process(app);
    if (parser.isSet(chipOption)) {
        try {
            gChip = ChooseChip(parser.value(chipOption).toStdString());
        } catch (const ChipChoiceError& e) {
            std::fprintf(stderr, "lpt-eeprom-window-bench: %s\n", e.what());
            return 2;
        }
    }

    std::vector<long> costs;
    for (const QString& text : parser.values(costOption)) {
        bool ok = false;
        const long ns = text.toLong(&ok);
        if (!ok || ns < 0) {
            std::fprintf(stderr,
                         "lpt-eeprom-window-bench: --port-cost-ns takes a whole number of "
                         "nanoseconds, 0 or more; got \"%s\".\n",
                         qPrintable(text));
            return 2;
        }
        costs.push_back(ns);
    }
    if (costs.empty()) costs = {1500, 0};
    bool runsOk = false;
    const int runs = parser.value(runsOption).toInt(&runsOk);
    if (!runsOk || runs < 1) {
        std::fprintf(stderr, "lpt-eeprom-window-bench: --runs takes a whole number, 1 or more.\n");
        return 2;
    }

    std::printf("== The window's reads of the %s under standard-mode timing, Qt platform \"%s\" ==\n",
                gChip.Part().name, qPrintable(QGuiApplication::platformName()));
    std::printf("(alone: the same operation without the window, the bus driver's own floor;\n"
                " limit: SCL rising edges x 10 us; ratio: median wall time / limit)\n");
    for (long ns : costs)
        for (bool window : {false, true})
            for (const ReadKind& read : kReads)
                if (gChip == ChipChoice{} || std::string(read.button) == "Command1")
                    Report(read, TimeNs{ns}, runs, window);
    std::printf("\n== One synchronous paint of the grid (no line timing) ==\n");
    PaintCost();
    return 0;
}
