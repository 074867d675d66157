#include <signal.h>

#include <csignal>

#include "cli/cli.h"

namespace lpt::cli {

namespace {

volatile std::sig_atomic_t gCancel = 0;

void OnSignal(int) { gCancel = 1; }

}  // namespace

void InstallCancelSignals() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // The first signal only sets the flag; the handler goes back to the default with it, so a
    // second Ctrl+C ends a program that does not come to a stop.
    action.sa_flags = SA_RESETHAND;
    // SIGHUP too: a closed terminal or a dropped ssh session would otherwise end the program in
    // the middle of a page with SCL low and the port still claimed.
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool CancelRequested() { return gCancel != 0; }

}  // namespace lpt::cli
