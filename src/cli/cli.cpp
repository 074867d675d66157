#include "cli/cli.h"

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/output.h"
#include "image/image_file.h"

namespace lpt::cli {

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
    const ParsedOptions parsed = ParseOptions(args, env.out, env.err);
    if (parsed.exitStatus) return *parsed.exitStatus;
    try {
        return RunCommand(parsed.options, env);
    } catch (const Failure& f) {
        PrintError(env.err, f.message);
        return f.status;
    } catch (const ImageFileError& e) {
        PrintError(env.err, e.what());
        return kStatusUsage;
    } catch (const PortError& e) {
        PrintError(env.err, OneLine(e.English()));
        return kStatusPort;
    }
}

}  // namespace lpt::cli
