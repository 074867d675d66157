#include "bus/ppdev_messages.h"

#include <cerrno>
#include <system_error>

namespace lpt {

namespace {

std::string ErrorText(int err) { return std::generic_category().message(err); }

// A base address as the user writes it: "0x378".
std::string BaseText(long base) { return PortChoice{PortChoice::Kind::Base, {}, base}.Text(); }

std::string Join(const std::vector<std::string>& items) {
    std::string list;
    for (const auto& item : items) list += (list.empty() ? "" : ", ") + item;
    return list;
}

// "parport0 at 0xd010, parport1 (address unknown)".
Wording ListPorts(const std::vector<FoundPort>& ports) {
    std::vector<std::string> en, ru;
    for (const auto& p : ports) {
        en.push_back(p.name + (p.base ? " at " + BaseText(*p.base) : " (address unknown)"));
        ru.push_back(p.name + (p.base ? " по адресу " + BaseText(*p.base) : " (адрес неизвестен)"));
    }
    return {Join(en), Join(ru)};
}

// How to pick that port: "--port 0xd010 or --port /dev/parport0".
Wording HowToPick(const FoundPort& port) {
    const std::string device = "--port /dev/" + port.name;
    if (!port.base) return {device, device};
    const std::string base = "--port " + BaseText(*port.base);
    return {base + " or " + device, base + " или " + device};
}

const Wording kTryAgain{
    "try again: the next port call opens the port afresh. If the error persists, check that the "
    "port is enabled (an on-board port in the BIOS setup, a card fully seated) and look at the "
    "kernel messages: sudo dmesg.",
    "Повторите попытку: следующее обращение к порту откроет его заново. Если ошибка не "
    "исчезает, проверьте, что порт включён (встроенный — в настройках BIOS, плата — вставлена "
    "до конца), и посмотрите сообщения ядра: sudo dmesg."};

// "; kernel I2C adapters: i2c-7: MCP2221 usb-i2c bridge (--port /dev/i2c-7)", to be said after
// what was found of the parallel ports; nothing when there are none.
Wording KernelAdapters(const std::vector<AdapterInfo>& adapters) {
    if (adapters.empty()) return {};
    const std::string list = AdapterChoices(adapters);
    return {"; kernel I2C adapters: " + list, " Адаптеры I2C ядра: " + list + "."};
}

}  // namespace

PortError NoPorts(const std::vector<AdapterInfo>& adapters) {
    const Wording kernel = KernelAdapters(adapters);
    return PortError(
        {"no parallel port found: the kernel reports none (/proc/sys/dev/parport is empty, there "
         "is no /dev/parport* device)" + kernel.en,
         "Параллельный порт не найден: ядро не сообщает ни об одном порте (/proc/sys/dev/parport "
         "пуст, устройств /dev/parport* нет)." + kernel.ru},
        {"load the parport_pc and ppdev modules: sudo modprobe -a parport_pc ppdev. If the port "
         "still does not appear, check that an on-board port is enabled in the BIOS setup, or "
         "that the port card is fully seated.",
         "Загрузите модули parport_pc и ppdev: sudo modprobe -a parport_pc ppdev. Если порт так и "
         "не появится, проверьте, что встроенный порт включён в настройках BIOS, а плата порта "
         "вставлена до конца."});
}

PortError NoAddresses(const PortChoice& choice, const std::vector<std::string>& devices) {
    const std::string list = Join(devices);
    return PortError(
        {"found the devices " + list +
             ", but the kernel reports no port addresses (no entries in /proc/sys/dev/parport), "
             "so the port at " + choice.Text() + " cannot be chosen",
         "Найдены устройства " + list +
             ", но ядро не сообщает адреса портов (нет записей в /proc/sys/dev/parport), "
             "и порт по адресу " + choice.Text() + " выбрать нельзя."},
        {"check that the parport_pc module is loaded (sudo modprobe -a parport_pc ppdev) and "
         "that /proc is mounted, or choose the port by its device name: --port " +
             devices.front() + ".",
         "Проверьте, что загружен модуль parport_pc (sudo modprobe -a parport_pc ppdev) "
         "и что смонтирована файловая система /proc, или выберите порт по имени устройства: "
         "--port " + devices.front() + "."});
}

PortError PortNotFound(const PortChoice& choice, const std::vector<FoundPort>& ports,
                       const std::vector<AdapterInfo>& adapters) {
    Wording missing;
    switch (choice.kind) {
        case PortChoice::Kind::Default:
            missing = {"there is no parallel port at " + choice.Text() + " (the default port).",
                       "Параллельный порт по адресу " + choice.Text() +
                           " (порт по умолчанию) не найден."};
            break;
        case PortChoice::Kind::Base:
            missing = {"there is no parallel port at " + choice.Text() + ".",
                       "Параллельный порт по адресу " + choice.Text() + " не найден."};
            break;
        case PortChoice::Kind::Device:
        case PortChoice::Kind::Adapter:  // not a parallel port: never opened as one
            missing = {"there is no port " + choice.Text() + ": no such device.",
                       "Порт " + choice.Text() + " не найден: такого устройства нет."};
            break;
    }
    const Wording list = ListPorts(ports);
    const Wording pick = HowToPick(ports.front());
    const Wording kernel = KernelAdapters(adapters);
    return PortError({missing.en + " The ports there are: " + list.en + kernel.en,
                      missing.ru + " Есть порты: " + list.ru + "." + kernel.ru},
                     {"choose the port the memory is wired to with --port, for example " +
                          pick.en + ".",
                      "Выберите порт, к которому подключена память, параметром --port, "
                      "например " + pick.ru + "."});
}

PortError NoDeviceNode(const std::string& name, std::optional<long> base, const std::string& path) {
    const std::string at = base ? " " + BaseText(*base) : "";
    return PortError({"the port " + name + (base ? " at" + at : "") + " is there, but the device " +
                          path + " is not",
                      "Порт " + name + (base ? " по адресу" + at : "") + " найден, но устройства " +
                          path + " нет."},
                     {"load the ppdev module: sudo modprobe ppdev.",
                      "Загрузите модуль ppdev: sudo modprobe ppdev."});
}

PortError AccessDenied(const std::string& path, int err) {
    return PortError({"no access to " + path + " (" + ErrorText(err) + ")",
                      "Нет доступа к " + path + " (" + ErrorText(err) + ")."},
                     {"add the user to the group lp: sudo usermod -aG lp $USER, then log in again.",
                      "Добавьте пользователя в группу lp: sudo usermod -aG lp $USER, затем войдите "
                      "в систему заново."});
}

PortError NoPortBehindDevice(const std::string& path, int err) {
    return PortError(
        {"cannot open " + path + " (" + ErrorText(err) +
             "): the device node is there but no port is behind it; the port driver was unloaded "
             "or the port card (adapter) removed",
         "Не удалось открыть " + path + " (" + ErrorText(err) +
             "): устройство есть, но порта за ним нет — драйвер порта выгружен или плата "
             "(переходник) порта извлечена."},
        {"load the drivers again: sudo modprobe -a parport_pc ppdev, plug the card or adapter "
         "back in and try again.",
         "Загрузите драйверы снова: sudo modprobe -a parport_pc ppdev, вставьте плату или "
         "переходник заново и повторите попытку."});
}

PortError OpenFailed(const std::string& path, int err) {
    return PortError({"cannot open " + path + " (" + ErrorText(err) + ")",
                      "Не удалось открыть " + path + " (" + ErrorText(err) + ")."},
                     kTryAgain);
}

PortError PortBusy(const std::string& path, const char* op, int err) {
    const std::string why = std::string(" (") + op + ": " + ErrorText(err) + ")";
    return PortError({"the port " + path + " is busy: exclusive access was refused" + why,
                      "Порт " + path + " занят: монопольный доступ не получен" + why + "."},
                     {"another driver holds the port, such as the printer driver lp. Unload it: "
                      "sudo rmmod lp, and close the programs that use the port.",
                      "Порт держит другой драйвер, например драйвер принтера lp. Выгрузите его: "
                      "sudo rmmod lp, и закройте программы, работающие с портом."});
}

PortError CallFailed(const char* op, const std::string& path, int err) {
    const std::string why = " (" + ErrorText(err) + ")";
    const Wording call{std::string("cannot run ") + op + " on " + path + why,
                       std::string("Не удалось выполнить ") + op + " на " + path + why};
    if (err == ENODEV || err == ENXIO) {
        return PortError({call.en + ": the port is gone; its driver was unloaded or the card "
                                    "(adapter) removed",
                          call.ru + ": порт пропал — драйвер порта выгружен или плата "
                                    "(переходник) извлечена."},
                         {"load the drivers again: sudo modprobe -a parport_pc ppdev, or plug the "
                          "card (adapter) back in; the next port call opens the port afresh.",
                          "Загрузите драйверы снова: sudo modprobe -a parport_pc ppdev или "
                          "вставьте плату (переходник) заново; следующее обращение к порту "
                          "откроет его заново."});
    }
    return PortError({call.en, call.ru + "."}, kTryAgain);
}

PortError PinRefused(int port, int bit, bool write) {
    return PortError({std::string(write ? "writing" : "reading") + " bit " + std::to_string(bit) +
                          " of port " + std::to_string(port) +
                          " refused: the cable chosen does not use that bit",
                      std::string(write ? "Запись" : "Чтение") + " бита " + std::to_string(bit) +
                          " порта " + std::to_string(port) +
                          " отклонено: выбранный кабель этот бит не использует."},
                     {"this is a bug in the program; please report it to its developer.",
                      "Это ошибка в программе; сообщите о ней разработчику."});
}

}  // namespace lpt
