// lpt-eeprom-sim: the same window over a simulated port with a simulated memory on its wires.
// The memory starts with fixed demonstration contents, or with the image file named on the
// command line, and lives only while the program runs. It is the chip chosen at start (--chip,
// else the one last chosen in the menu); a chip chosen in the menu later changes what the window
// assumes, not the simulated part, as a menu cannot change the part on a real board.
#include <QApplication>
#include <QLocale>
#include <QSettings>

#include <cstdio>
#include <memory>
#include <optional>

#include "app/command_line.h"
#include "image/image_file.h"
#include "setup/port_setup.h"
#include "ui/chip_settings.h"
#include "ui/form1.h"
#include "ui/language.h"
#include "ui/quit_signals.h"

namespace {

constexpr char kProgram[] = "lpt-eeprom-sim";

// The simulated memory, from the start image when one is named. Nothing on a refused image,
// which is printed on stderr.
std::optional<lpt::setup::ChosenPort> OpenSimulatedMemory(const std::string& image,
                                                          const lpt::ChipChoice& chip,
                                                          const lpt::Cable& cable) {
    lpt::setup::PortRequest request;
    request.cable = cable;  // the simulated memory is wired the way the window drives it
    request.simulated = true;
    request.startImage = image;
    request.chip = chip;
    try {
        return lpt::setup::OpenPort(request);
    } catch (const lpt::setup::PartialStartImage& e) {
        std::fprintf(stderr,
                     "%s: %s. Give a file that covers all of them, or no file for the "
                     "demonstration contents.\n",
                     kProgram, e.what());
    } catch (const lpt::ImageFileError& e) {
        std::fprintf(stderr,
                     "%s: %s\nGive a %d-byte image file for the %s (or a full Intel HEX or "
                     "S-record file), choose the file's chip with --chip, or give no file for "
                     "the demonstration contents.\n",
                     kProgram, e.what(), chip.Part().size, chip.Part().name);
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char* argv[]) {
    const lpt::app::CommandLine line = lpt::app::ParseCommandLine(
        argc, argv,
        {kProgram,
         "Opens the lpt-eeprom window over a simulated port and I2C EEPROM: no hardware.",
         /*takesPort=*/false, /*takesImage=*/true});
    if (line.exitStatus) return *line.exitStatus;
    const std::unique_ptr<QSettings> settings = lpt::ui::UserSettings();
    const lpt::ChipChoice chip = lpt::ui::StartChip(line.chip, *settings);
    const std::optional<lpt::setup::ChosenPort> memory = OpenSimulatedMemory(line.image, chip, line.cable);
    if (!memory) return lpt::app::kUsageStatus;

    QApplication app(argc, argv);
    lpt::ui::UseLanguage(lpt::ui::ChooseLanguage(QLocale::system(), line.language));
    lpt::ui::Form1 window(memory->Get(), line.cable);
    window.SetChip(chip);
    window.RememberChipsIn(settings.get());
    if (line.speed) window.SetSpeed(*line.speed);  // this run only: the menu's choice stays
    lpt::ui::QuitSignals quitSignals(window);
    window.Load();
    window.show();
    return QApplication::exec();
}
