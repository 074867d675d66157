// lpt-eeprom-sim: the same window over a simulated port with a simulated memory on its wires.
// The memory starts with fixed demonstration contents, or with the image file named on the
// command line, and lives only while the program runs.
#include <QApplication>

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "app/command_line.h"
#include "image/image_file.h"
#include "sim/sim_eeprom.h"
#include "sim/sim_port.h"
#include "ui/form1.h"
#include "ui/quit_signals.h"

namespace {

constexpr char kProgram[] = "lpt-eeprom-sim";

using Contents = std::array<std::uint8_t, lpt::sim::SimEeprom::kSize>;

// The whole memory from an image file: binary unless the extension says Intel HEX or S-record.
// Only a file that gives every byte will do: the simulated memory has no "unwritten" state for
// the addresses a partial file leaves out. Nothing on a refusal, which is printed on stderr.
std::optional<Contents> ReadStartImage(const std::string& path) {
    try {
        const lpt::MemoryImage image = lpt::ReadImageFile(
            path, lpt::FormatFromExtension(path).value_or(lpt::ImageFormat::Binary));
        if (image.Complete()) return image.bytes;
        std::fprintf(stderr,
                     "%s: %s: the file gives %d of the %d bytes of the memory. Give a file "
                     "that covers all of them, or no file for the demonstration contents.\n",
                     kProgram, path.c_str(), image.CoveredCount(), lpt::MemoryImage::kSize);
    } catch (const lpt::ImageFileError& e) {
        std::fprintf(stderr,
                     "%s: %s\nGive a 2048-byte image file (or a full Intel HEX or S-record "
                     "file), or no file for the demonstration contents.\n",
                     kProgram, e.what());
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char* argv[]) {
    const lpt::app::CommandLine line = lpt::app::ParseCommandLine(
        argc, argv,
        {kProgram,
         "Opens the lpt-eeprom window over a simulated port and 2 KB I2C EEPROM: no hardware.",
         /*takesPort=*/false, /*takesImage=*/true});
    if (line.exitStatus) return *line.exitStatus;
    std::optional<Contents> start;
    if (!line.image.empty()) {
        start = ReadStartImage(line.image);
        if (!start) return lpt::app::kUsageStatus;
    }

    QApplication app(argc, argv);
    lpt::sim::SimPort port;
    port.SetRecording(false);  // nobody reads the record here; don't let it grow
    lpt::sim::SimEeprom eeprom;
    if (start) {
        eeprom.Memory() = *start;
    } else {
        lpt::sim::LoadDemoContents(eeprom);
    }
    port.Attach(eeprom);
    lpt::ui::Form1 window(port);
    lpt::ui::QuitSignals quitSignals(window);
    window.Load();
    window.show();
    const int rc = QApplication::exec();
    port.Detach(eeprom);
    return rc;
}
