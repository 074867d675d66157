#include "app/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "setup/port_setup.h"
#include "version.h"

namespace lpt::app {

namespace {

// The standard options that QGuiApplication, QApplication and the platform plugins take from
// argv. The parser must know them to let them through; the help does not list them.
const char* const kQtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "geometry",
    "qwindowtitle", "title", "qwindowicon", "icon", "session", "display", "name", "style",
    "stylesheet", "qmljsdebugger", "fontengine", "dialogs"};
const char* const kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync",
                                      "testability"};

void Print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

}  // namespace

CommandLine ParseCommandLine(int argc, char* argv[], const ProgramInfo& program) {
    // The parser's usage line names argv[0]: give it the bare program name rather than the path
    // it was started by, so the help (and the manual page made from it) reads the same anywhere.
    std::vector<char*> args(argv, argv + argc);
    if (args.empty()) args.push_back(nullptr);
    args[0] = const_cast<char*>(program.name);
    args.push_back(nullptr);
    int coreArgc = argc > 0 ? argc : 1;
    const QCoreApplication core(coreArgc, args.data());

    QCommandLineParser parser;
    // "-platform offscreen" is one option with a value, as QApplication reads it, not -p -l -a ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QString::fromUtf8(program.description));
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption version({"v", "version"}, "Show the program's version and exit.");
    // The parser wraps the help to its own width: the command-line program's line break goes.
    const QCommandLineOption port("port", QString::fromUtf8(setup::kPortHelp).replace('\n', ' '),
                                  "PORT");
    const QCommandLineOption lang(
        "lang",
        "The window's language: ru (Russian) or en (English). Without it, the desktop's language "
        "decides (LANGUAGE, LC_ALL, LC_MESSAGES, LANG): English for English, else Russian.",
        "ru|en");
    const QCommandLineOption cable(
        "cable",
        "The cable: direct (the default), a built-in cable (lpt-eeprom-cli cables lists them), a "
        "name from ~/.config/lpt-eeprom/cables.conf, or a definition such as "
        "sda=~D1,scl=~D0,sda-in=S5,scl-in=S4.",
        "CABLE");
    const QCommandLineOption chip(
        "chip",
        "The memory on the board: " + QString::fromStdString(ChipNames()) +
            ". Without it, the chip last chosen in the window's menu (the 24c16 at first). "
            "The choice on the command line holds for this run and is not remembered.",
        "NAME");
    const QCommandLineOption page(
        "page", "With --chip: the page size of the part when its maker differs from the table.",
        "N");
    const QCommandLineOption pins(
        "pins",
        "With --chip: the levels of the address pins A2 A1 A0 as one number (A2 high = 4, "
        "A1 = 2, A0 = 1); all low unless the part needs A2 high.",
        "N");
    const QCommandLineOption speed(
        "speed",
        "The bus clock for this run: standard (100 kHz, every memory), fast (400 kHz) or "
        "fast-plus (1 MHz) where the memory allows it. Without it, the one last chosen in the "
        "grid's menu. A bit takes at least three port calls: on a port of 1.5 us a call both fast "
        "modes give at most about 220 kHz.",
        "SPEED");
    const QCommandLineOption force(
        "force",
        "On a kernel I2C adapter: write at 0x50-0x57 even on a PC's SMBus or over contents that "
        "look like a memory module's SPD. A module's SPD written over can leave the PC unable "
        "to boot.");
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(cable);
    parser.addOption(speed);
    if (program.takesPort) {
        parser.addOption(port);
        parser.addOption(force);
    }
    parser.addOption(lang);
    parser.addOption(chip);
    parser.addOption(page);
    parser.addOption(pins);
    if (program.takesImage) {
        parser.addPositionalArgument(
            "IMAGE",
            "The memory's starting contents instead of the demonstration contents: a binary "
            "image of exactly 2048 bytes for the 24c16 (the size of the chip chosen at start, which "
            "the simulated memory is), or an Intel HEX (.hex) or S-record (.srec) file that gives "
            "every byte of it.",
            "[IMAGE]");
    }
    for (const char* name : kQtOptionsWithValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), "value");
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : kQtFlagOptions) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    const QString name = QString::fromUtf8(program.name);
    const auto usageError = [&](const QString& reason) {
        Print(stderr, name + ": " + reason + "\n\n" + parser.helpText());
        return CommandLine{kUsageStatus, {}, {}, {}, {}, {}, {}, {}};
    };

    if (!parser.parse(QCoreApplication::arguments())) return usageError(parser.errorText());
    if (parser.isSet(help)) {
        Print(stdout, parser.helpText() +
                          "\nQt's standard options work as well, for example\n"
                          "-platform offscreen or -style fusion.\n");
        return CommandLine{0, {}, {}, {}, {}, {}, {}, {}};
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", program.name, kVersion);
        return CommandLine{0, {}, {}, {}, {}, {}, {}, {}};
    }

    CommandLine line;
    if (program.takesPort && parser.isSet(port)) {
        const QString text = parser.value(port);
        if (text.isEmpty()) {
            // Given empty (a variable that was not set) it names no port: not the one at 0x378.
            return usageError("--port is empty.\nGive the port's device (/dev/parport0, "
                              "parport0) or its base address (0x378, 0xd010, 888), or leave "
                              "--port out for the port at 0x378.");
        }
        const std::optional<PortChoice> choice = ParsePortChoice(text.toStdString());
        if (!choice) {
            return usageError("--port " + text +
                              ": not a port.\nGive a parallel port's device (/dev/parport0, "
                              "parport0) or base address (0x378, 0xd010, 888), or a kernel I2C "
                              "adapter (/dev/i2c-1, i2c-1);\nls /proc/sys/dev/parport lists "
                              "the parallel ports there are, i2cdetect -l the adapters.");
        }
        line.port = *choice;
        line.force = parser.isSet(force);
        if (line.port.IsAdapter() && parser.isSet(cable))
            return usageError("--cable: a kernel I2C adapter has no cable to choose.\nLeave "
                              "--cable out with --port " + text + ".");
        if (line.port.IsAdapter() && parser.isSet(speed))
            return usageError("--speed: a kernel I2C adapter's driver sets its bus clock.\n"
                              "Leave --speed out with --port " + text + ".");
    }
    if (parser.isSet(lang)) {
        const QString text = parser.value(lang);
        line.language = ui::LanguageFromName(text);
        if (!line.language) {
            return usageError("--lang " + text +
                              ": not a language of the window.\nGive ru (Russian) or en "
                              "(English), or leave --lang out to follow the desktop's language.");
        }
    }
    if (parser.isSet(speed)) {
        const QString text = parser.value(speed);
        line.speed = SpeedFromName(text.toStdString());
        if (!line.speed) {
            return usageError("--speed " + text +
                              ": not a bus mode.\nGive standard, fast or fast-plus, or leave "
                              "--speed out for the one last chosen in the window.");
        }
    }
    if (parser.isSet(cable)) {
        try {
            line.cable = ChooseCable(parser.value(cable).toStdString());
        } catch (const UserError& e) {
            return usageError("--cable " + parser.value(cable) + ": " +
                              QString::fromStdString(e.English()) + ".");
        }
    }
    if (parser.isSet(chip) || parser.isSet(page) || parser.isSet(pins)) {
        if (!parser.isSet(chip)) {
            return usageError("--page and --pins describe the chip --chip names.\nGive --chip "
                              "NAME with them (" +
                              QString::fromStdString(ChipNames()) + ").");
        }
        // A number as the user typed it, or nothing when it is not one.
        const auto number = [&](const QCommandLineOption& option) -> std::optional<int> {
            bool ok = false;
            const int value = parser.value(option).toInt(&ok, 0);
            return ok ? std::optional<int>(value) : std::nullopt;
        };
        std::optional<int> pageSize, pinLevels;
        for (const auto& [option, value] : {std::pair{&page, &pageSize}, {&pins, &pinLevels}}) {
            if (!parser.isSet(*option)) continue;
            *value = number(*option);
            if (!*value) {
                return usageError("--" + option->names().constFirst() + " " +
                                  parser.value(*option) +
                                  ": not a number.\nGive a whole number, for example --page 16 "
                                  "or --pins 0.");
            }
        }
        try {
            line.chip = ChooseChip(parser.value(chip).toStdString(), pageSize, pinLevels);
        } catch (const ChipChoiceError& e) {
            return usageError("--chip " + parser.value(chip) + ": " + QString::fromUtf8(e.what()) +
                              ".");
        }
    }
    const QStringList rest = parser.positionalArguments();
    const int allowed = program.takesImage ? 1 : 0;
    if (rest.size() > allowed) return usageError("unexpected argument '" + rest[allowed] + "'.");
    if (!rest.isEmpty()) line.image = rest[0].toLocal8Bit().toStdString();
    return line;
}

}  // namespace lpt::app
