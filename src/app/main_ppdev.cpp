// lpt-eeprom: the window over a real parallel port, through the Linux ppdev driver, or over a
// kernel I2C adapter. --port picks the port by its device or its base address, or the adapter
// as /dev/i2c-N; without it, the parallel port at 0x378.
#include <QApplication>
#include <QLocale>
#include <QSettings>

#include <memory>

#include "app/command_line.h"
#include "operations/kernel_memory_bus.h"
#include "setup/port_setup.h"
#include "ui/chip_settings.h"
#include "ui/form1.h"
#include "ui/language.h"
#include "ui/quit_signals.h"

int main(int argc, char* argv[]) {
    const lpt::app::CommandLine line = lpt::app::ParseCommandLine(
        argc, argv,
        {"lpt-eeprom",
         "Reads, scans and writes a 24Cxx I2C serial EEPROM wired to a PC parallel port.",
         /*takesPort=*/true, /*takesImage=*/false});
    if (line.exitStatus) return *line.exitStatus;
    // Opened at the first port call, released when the program ends.
    const lpt::setup::ChosenPort port =
        lpt::setup::OpenPort({line.port, /*simulated=*/false, /*startImage=*/{}, /*chip=*/{},
                              line.cable});

    QApplication app(argc, argv);
    lpt::ui::UseLanguage(lpt::ui::ChooseLanguage(QLocale::system(), line.language));
    // A kernel I2C adapter carries whole transactions; a parallel port is driven line by line.
    std::unique_ptr<lpt::ui::Form1> made;
    if (lpt::I2cAdapter* adapter = port.Adapter()) {
        made = std::make_unique<lpt::ui::Form1>(std::make_unique<lpt::KernelMemoryBus>(
            *adapter, lpt::SteadyNow, lpt::k24c16, line.force));
    } else {
        made = std::make_unique<lpt::ui::Form1>(port.Get(), line.cable);
    }
    lpt::ui::Form1& window = *made;
    // The chip of the command line for this run only; the menu's choice is remembered.
    const std::unique_ptr<QSettings> settings = lpt::ui::UserSettings();
    window.SetChip(lpt::ui::StartChip(line.chip, *settings));
    window.RememberChipsIn(settings.get());
    if (line.speed) window.SetSpeed(*line.speed);  // this run only: the menu's choice stays
    lpt::ui::QuitSignals quitSignals(window);
    window.Load();
    window.show();
    return QApplication::exec();
}
