// lpt-eeprom-cli's commands: each one on a bus at rest over the port the options chose, its
// report on the output stream, its failure as an exit status and one line.
#pragma once

#include <string>

#include "cli/cli.h"
#include "cli/options.h"

namespace lpt::cli {

// The end of a run that did not go as asked: the exit status and the one line for the user.
struct Failure {
    int status;
    std::string message;
};

// Reads the command's image file, opens the chosen port, runs the command, and leaves the bus at
// rest and a changed simulated memory saved. Returns kStatusDone; throws Failure, and
// ImageFileError or PortError from before the bus is used (the image file, the start image).
int RunCommand(const Options& options, CliEnvironment& env);

}  // namespace lpt::cli
