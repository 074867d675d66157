#include "cli/cli.h"

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/output.h"

namespace lpt::cli {

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
    const ParsedOptions parsed = ParseOptions(args, env.out, env.err);
    if (parsed.exitStatus) return *parsed.exitStatus;
    try {
        return RunCommand(parsed.options, env);
    } catch (const Failure& f) {
        PrintError(env.err, f.message);
        return f.status;
    } catch (const UserError& e) {  // the image file or the port, before any command ran
        PrintError(env.err, e.English());
        return StatusFor(e.Kind());
    }
}

}  // namespace lpt::cli
