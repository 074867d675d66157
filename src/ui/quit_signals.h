// SIGTERM, SIGINT and SIGHUP (a logout, `kill`, Ctrl+C in the terminal) close the window the
// way its close button does, instead of killing the program in the middle of a transaction with
// SCL low: a read finishes first (it processes no events), a write ends at its pause, and the
// unload leaves the bus idle and releases the port.
//
// Self-pipe: the handler does nothing but write() one byte into a pipe; a QSocketNotifier on the
// other end turns it into a close() on the window's thread, the next time events are processed.
// A second signal of the same kind, once the first has been taken, ends the program the
// ordinary way (the handlers are one-shot), so a wedged program can still be stopped.
#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

namespace lpt::ui {

class QuitSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; the window is closed when one of the signals arrives. One instance
    // per process. Returns false (and installs nothing) when the pipe cannot be made.
    explicit QuitSignals(QWidget& window);
    ~QuitSignals() override;
    bool Installed() const { return notifier_ != nullptr; }
    // The signal number taken last, 0 before any.
    int Received() const { return received_; }

private:
    void OnReadable();

    QWidget& window_;
    QSocketNotifier* notifier_ = nullptr;
    int received_ = 0;
};

}  // namespace lpt::ui
