#include "cli/commands.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "bus/i2c_bus.h"
#include "cli/output.h"
#include "image/image_file.h"
#include "operations/bus_check.h"
#include "operations/cable_test.h"
#include "operations/detect.h"
#include "operations/image_operations.h"
#include "operations/kernel_memory_bus.h"
#include "operations/operations.h"
#include "setup/port_setup.h"

namespace lpt::cli {

namespace {

// What every command works with.
struct CommandRun {
    const Options& options;
    std::ostream& out;  // results: the dump, the scan's list, the reports
    const ClockFn& clock;
    I2CBus* bus;        // the bus procedures on the port's lines; none on a kernel adapter
    MemoryBus& memory;  // the memory on the bus: the chosen chip
    Progress& progress;
};

// "the wiring of pins 2, 15, 16 and ground": what to check when nothing answers.
std::string WiringText(const MemoryBus& memory) {
    return "the wiring of " + memory.Lines().lines.en + " and ground";
}

// Every probe of the scan is a point where the user may stop it.
class ScanCancel : public ScanListener {
public:
    explicit ScanCancel(const Progress& progress) : progress_(progress) {}
    void Probed(std::uint8_t) override { progress_.CheckCancel(); }

private:
    const Progress& progress_;
};

// "; the bus at 400 kHz may be too fast ...": said after a failure the bus mode may explain.
std::string SpeedDoubtText(BusSpeed speed) {
    const std::optional<std::string> doubt = SpeedDoubt(speed);
    return doubt ? "; " + *doubt : "";
}

std::optional<Failure> Scan(CommandRun& run) {
    ScanCancel listener(run.progress);
    const std::vector<std::uint8_t> answers = BusScan(run.memory, listener);
    for (int a : answers) run.out << ByteHex(a) << '\n';
    if (!answers.empty()) return std::nullopt;
    return Failure{kStatusMemory, "no device answered on the bus; check that the memory is in "
                                  "place and powered, and " + WiringText(run.memory)};
}

std::optional<Failure> TestCableCommand(CommandRun& run, Port& port) {
    const CableTestReport report = TestCable(port, *run.bus, run.clock);
    run.out << report.Text();
    if (report.works) return std::nullopt;
    return Failure{kStatusMemory, "the cable does not work as chosen; see the report above, and "
                                  "try what it suggests or another --cable"};
}

std::optional<Failure> Read(CommandRun& run) {
    const MemoryGeometry& geometry = run.memory.Memory();
    // --offset and --length were checked against the memory with the command line.
    const bool part = run.options.offset || run.options.length;
    const int first = run.options.offset.value_or(0);
    const int count = run.options.length.value_or(geometry.size - first);
    const MemoryBytes bytes = part ? ReadRange(run.memory, first, count, run.progress.Fn())
                                   : ReadMemory(run.memory, run.progress.Fn());
    run.progress.End();
    const std::string& file = run.options.file;
    const ImageFormat format = run.options.outputFormat;
    if (file.empty()) {
        PrintDump(run.out, bytes, first, geometry.AddressDigits());
        return std::nullopt;
    }
    // A part keeps the memory's addresses: a HEX or S-record file gives them, a binary holds
    // just those bytes.
    const MemoryImage image =
        part ? MemoryImage::Part(geometry.size, first, bytes) : MemoryImage::Full(bytes);
    if (file == "-") {
        // Nothing else goes to stdout: the report would end up inside the image.
        WriteImageStream(run.out, "standard output", image, format);
        return std::nullopt;
    }
    WriteImageFile(file, image, format);
    // Reported for a file only: a device or a FIFO may be where stdout goes as well
    // (/dev/stdout), and the report would land in the image.
    std::error_code notFile;
    if (!run.options.quiet && std::filesystem::is_regular_file(file, notFile))
        run.out << "read " << bytes.size() << " bytes into " << file << " ("
                << FormatName(format) << ")\n";
    return std::nullopt;
}

std::optional<Failure> Verify(CommandRun& run, const MemoryImage& image) {
    const ImageDiff diff = VerifyImage(run.memory, image, run.progress.Fn());
    run.progress.End();
    if (diff.differing == 0) {
        if (!run.options.quiet) run.out << "verified: " << diff.compared << " bytes match\n";
        return std::nullopt;
    }
    const int digits = run.memory.Memory().AddressDigits();
    if (!run.options.quiet) PrintMismatches(run.out, diff, "expected", "found", digits);
    return Failure{kStatusMemory, std::to_string(diff.differing) + " of " +
                                      std::to_string(diff.compared) + " bytes differ from " +
                                      run.options.file + ", " +
                                      FirstMismatch(diff, "expected", "found", digits) +
                                      "; write the file to the memory, or check that it is the "
                                      "right file" + SpeedDoubtText(run.options.speed)};
}

// The end of a write or an erase: the summary, and the bytes that read back otherwise.
std::optional<Failure> WriteOutcome(CommandRun& run, const WriteReport& report) {
    run.progress.End();
    if (!run.options.quiet) PrintWriteSummary(run.out, report, run.memory.Memory().pageSize);
    if (!report.verified || report.verify.differing == 0) return std::nullopt;
    const int digits = run.memory.Memory().AddressDigits();
    if (!run.options.quiet) PrintMismatches(run.out, report.verify, "wrote", "read", digits);
    const std::string& doubt = report.addressingDoubt.en;
    return Failure{kStatusMemory, std::to_string(report.verify.differing) +
                                      " bytes read back other than written, " +
                                      FirstMismatch(report.verify, "wrote", "read", digits) +
                                      "; the memory may be write-protected (WP pin high) or "
                                      "failing" + (doubt.empty() ? "" : "; " + doubt) +
                                      SpeedDoubtText(run.options.speed)};
}

std::optional<Failure> Write(CommandRun& run, const MemoryImage& image) {
    const WriteOptions how{run.options.allPages, run.options.verify};
    return WriteOutcome(run, WriteImage(run.memory, image, how, run.progress.Fn()));
}

std::optional<Failure> Erase(CommandRun& run) {
    const WriteOptions how{run.options.allPages, run.options.verify};
    return WriteOutcome(
        run, EraseMemory(run.memory, run.options.eraseValue, how, run.progress.Fn()));
}

const char* LabelText(DetectFinding::Label label) {
    switch (label) {
        case DetectFinding::Label::Certain: return "certain";
        case DetectFinding::Label::Guess: return "guess";
        case DetectFinding::Label::CannotTell: return "cannot tell";
    }
    return "";
}

// Reads only: the findings one a line, then the parts that fit.
std::optional<Failure> DetectMemory(CommandRun& run) {
    const DetectReport report = Detect(run.memory);
    for (const DetectFinding& finding : report.findings)
        run.out << LabelText(finding.label) << ": " << finding.text.en << '\n';
    if (report.answering.empty())
        return Failure{kStatusMemory, "no memory answered a read at 0xA0 to 0xAE; check that the "
                                      "memory is in place and powered, and " +
                                          WiringText(run.memory)};
    std::string fits;
    for (const Chip* chip : report.candidates)
        fits += (fits.empty() ? "" : ", ") + std::string(chip->name);
    run.out << "fits: " << (fits.empty() ? "no single part of the table" : fits) << '\n';
    return std::nullopt;
}

std::optional<Failure> Dispatch(CommandRun& run, const MemoryImage& image, Port* port) {
    switch (run.options.command) {
        case Command::TestCable: return TestCableCommand(run, *port);
        case Command::Cables: return std::nullopt;
        case Command::Scan: return Scan(run);
        case Command::Read: return Read(run);
        case Command::Write: return Write(run, image);
        case Command::Verify: return Verify(run, image);
        case Command::Erase: return Erase(run);
        case Command::Detect: return DetectMemory(run);
        case Command::Chips: break;  // no bus: see RunCommand
    }
    return std::nullopt;
}

// What a stop by a signal leaves behind, for the user.
std::string CancelledMessage(const Options& options) {
    std::string what = "cancelled by a signal";
    if (options.command == Command::Write || options.command == Command::Erase)
        what += "; the pages written so far stay written, run the command again to finish";
    else if (options.command == Command::Read && !options.file.empty())
        what += "; " + (options.file == "-" ? "nothing went to stdout"
                                            : options.file + " was not written");
    return what;
}

// The one way out for every outcome: the bus left at rest before the port is let go. After a
// finished command or a cancel between pages it already is, and this changes nothing. After a
// port failure in the middle of a transaction (a page half sent, a byte half clocked) raising
// SCL and then SDA would be a stop, and a stop may make the memory commit the part of a page it
// was given; the bus clear instead sends a start first, which makes it drop that part. A port
// that never opened has no bus to leave.
void LeaveBusAtRest(I2CBus& bus, Port& port, std::optional<Failure>& failure) {
    if (!port.EverOpened()) return;
    try {
        if (bus.Interrupted()) {
            CheckBus(bus);
        } else {
            // Clock line first, then the data line.
            bus.SetSCL(kTrue);
            bus.SetSDA(kTrue);
        }
    } catch (const PortError&) {
        // The port is still failing: already reported, or the next run will report it.
    } catch (const BusError& e) {
        // SDA stays low after the clear: the next run's bus check would say so as well.
        if (!failure) failure = Failure{StatusFor(e.Kind()), e.English()};
    }
}

// The port --port or --sim names; a start image that gives only part of the memory is refused.
setup::ChosenPort OpenChosenPort(const setup::PortRequest& request, CliEnvironment& env) {
    try {
        return setup::OpenPort(request, env.clock, env.openParallelPort, env.openAdapter);
    } catch (const setup::PartialStartImage& e) {
        throw Failure{kStatusUsage, std::string(e.what()) + "; give a file that covers all of "
                                                            "them, or --sim alone for the "
                                                            "demonstration contents"};
    }
}

// Every cable --cable can name, with its bits and pins.
void ListCables(std::ostream& out) {
    const auto describe = [&out](const Cable& cable, const std::string& alias) {
        out << cable.name << (alias.empty() ? "" : " (" + alias + ")") << ": "
            << cable.Definition() << "\n    SDA out " << PinText(cable.sdaOut) << "; SCL out "
            << PinText(cable.sclOut) << "; SDA in " << PinText(cable.sdaIn) << "; SCL in "
            << (cable.sclIn.Wired() ? PinText(cable.sclIn) : std::string("not wired"));
        if (!cable.note.empty()) out << "\n    " << cable.note;
        out << '\n';
    };
    out << "Built-in cables (~ : the line is the inverse of its register bit):\n";
    for (const Cable& cable : BuiltinCables()) describe(cable, TypeAlias(cable));
    const std::string path = UserCablesPath();
    const std::vector<UserCable> user = ReadUserCables(path);
    out << "User cables (" << (path.empty() ? "no HOME or XDG_CONFIG_HOME" : path) << "):"
        << (user.empty() ? " none\n" : "\n");
    for (const UserCable& u : user) describe(ParseCableDefinition(u.name, u.definition), "");
}

}  // namespace

int RunCommand(const Options& options, CliEnvironment& env) {
    const ChipChoice& chip = options.port.chip;
    if (options.command == Command::Chips) {  // the table alone: no port, no image
        PrintChips(env.out);
        return kStatusDone;
    }
    if (options.command == Command::Cables) {
        ListCables(env.out);
        return kStatusDone;
    }
    const bool adapter = !options.port.simulated && options.port.parallelPort.IsAdapter();
    if (adapter && options.command == Command::TestCable)
        throw Failure{kStatusUsage, "test-cable tests a parallel-port cable; a kernel I2C adapter "
                                    "has none (scan or detect show what answers on it)"};
    if (adapter && options.cable != "direct")
        throw Failure{kStatusUsage, "--cable " + options.cable + ": a kernel I2C adapter has no "
                                    "cable to choose; leave --cable out"};
    // The cable first: a name or definition that cannot be used stops the run before anything.
    setup::PortRequest request = options.port;
    request.cable = ChooseCable(options.cable);

    MemoryImage image;  // read and checked whole: nothing is sent to the memory before this
    if (options.command == Command::Write || options.command == Command::Verify)
        image = ReadImageFile(options.file, options.format, ImageTarget::Of(chip, options.offset));

    const setup::ChosenPort port = OpenChosenPort(request, env);

    // A mode above the memory's datasheet is the user's call (the supply voltage decides): said
    // once, and the command goes on. The cable test needs no memory. A kernel adapter runs at
    // the clock its driver sets.
    if (adapter && options.speed != BusSpeed::Standard) {
        PrintError(env.err, "warning: --speed has no effect on a kernel I2C adapter: its driver "
                            "sets the bus clock");
    } else if (const std::optional<std::string> above = SpeedAboveChip(options.speed, chip.Part());
               above && options.command != Command::TestCable) {
        PrintError(env.err, "warning: " + *above);
    }
    std::optional<I2CBus> bus;
    std::unique_ptr<MemoryBus> memory;
    if (I2cAdapter* kernel = port.Adapter()) {
        memory = std::make_unique<KernelMemoryBus>(*kernel, env.clock, chip.Geometry(),
                                                   options.force);
    } else {
        bus.emplace(port.Get(), env.clock, request.cable, options.speed);
        memory = std::make_unique<LineMemoryBus>(*bus, env.clock, chip.Geometry());
    }
    Progress progress(env, env.errIsTerminal && !options.quiet);
    CommandRun run{options, env.out, env.clock, bus ? &*bus : nullptr, *memory, progress};
    std::optional<Failure> failure;
    try {
        // Bus at rest: data line first, then the clock line. The first port access. The cable
        // test drives the lines itself, and reports an SCL that does not come up.
        if (bus && options.command != Command::TestCable) {
            bus->SetSDA(kTrue);
            bus->SetSCL(kTrue);
        }
        failure = Dispatch(run, image, bus ? &port.Get() : nullptr);
    } catch (const Cancelled&) {
        failure = Failure{kStatusCancelled, CancelledMessage(options)};
    } catch (const UserError& e) {  // the bus, the port, or the file a read was to go into
        failure = Failure{StatusFor(e.Kind()), e.English()};
        if (e.Kind() == ErrorKind::Bus && bus) failure->message += SpeedDoubtText(options.speed);
    }
    progress.End();
    if (bus) LeaveBusAtRest(*bus, port.Get(), failure);
    try {
        port.SaveChanges();  // only a write or an erase changes the memory
    } catch (const ImageFileError& e) {
        if (failure) PrintError(env.err, failure->message);
        failure = Failure{kStatusUsage, std::string(e.what()) + "; the simulated memory's "
                                                               "changes are lost"};
    }
    if (failure) throw *failure;
    return kStatusDone;
}

}  // namespace lpt::cli
