// lpt-eeprom-cli: the memory's scan, read, write, verify and erase from a shell (src/cli).
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"

int main(int argc, char* argv[]) {
    lpt::cli::InstallCancelSignals();
    lpt::cli::CliEnvironment env(std::cout, std::cerr);
    env.errIsTerminal = isatty(STDERR_FILENO) == 1;
    env.cancelled = lpt::cli::CancelRequested;
    return lpt::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc), env);
}
