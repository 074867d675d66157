// lpt-eeprom-cli: the memory's whole-image work (scan, read, write, verify, erase) from a shell,
// on the same bus and operations as the window.
//
// The whole program lives here so that it can run in-process: main() only hands in the standard
// streams, the terminal test and the signal flag. Every message for the user is one English line
// on the error stream, "lpt-eeprom-cli: <cause>; <what to do>". The command line is read in
// options.cpp, the commands run in commands.cpp, what they print is in output.cpp; the port they
// run on comes from src/setup.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "bus/clock.h"
#include "common/user_error.h"
#include "setup/port_setup.h"

namespace lpt::cli {

// Exit statuses, as the help lists them.
constexpr int kStatusDone = 0;
constexpr int kStatusMemory = 1;     // the memory did not answer, or holds other bytes than asked
constexpr int kStatusUsage = 2;      // the command line or an image file cannot be used
constexpr int kStatusPort = 3;       // the port cannot be used
constexpr int kStatusCancelled = 130;  // SIGINT, SIGTERM or SIGHUP, as a shell reports a Ctrl+C

// The exit status of an error the user meets: the port 3, the memory or the bus 1, a file or
// a choice that cannot be used 2.
constexpr int StatusFor(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Port: return kStatusPort;
        case ErrorKind::Bus: return kStatusMemory;
        case ErrorKind::File:
        case ErrorKind::Usage: return kStatusUsage;
    }
    return kStatusMemory;
}

struct CliEnvironment {
    CliEnvironment(std::ostream& out, std::ostream& err) : out(out), err(err) {}

    std::ostream& out;           // results: the dump, the scan's list, the reports
    std::ostream& err;           // errors, and the progress line when it is a terminal
    bool errIsTerminal = false;  // show progress (unless -q)
    // The parallel port for --port (not called with --sim): ppdev, or a test's own port.
    setup::ParallelPortOpener openParallelPort = setup::OpenParallelPort;
    // The kernel I2C adapter for --port /dev/i2c-N: i2c-dev, or a test's own.
    setup::AdapterOpener openAdapter = setup::OpenAdapter;
    // Bus timing, write-cycle polling, the simulated memory's write cycle and the progress times.
    ClockFn clock = SteadyNow;
    // True once the user asked to stop; looked at between blocks, pages and probes.
    std::function<bool()> cancelled;
};

// Runs the program on its arguments (without the program name) and returns the exit status.
int RunCli(const std::vector<std::string>& args, CliEnvironment& env);

// SIGINT, SIGTERM and SIGHUP set a flag that CancelRequested() reports, instead of ending the
// program in the middle of a transaction; a second signal of the same kind ends it at once.
void InstallCancelSignals();
bool CancelRequested();

}  // namespace lpt::cli
