#include "bus/ppdev_port.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <linux/ppdev.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace lpt {

namespace {

constexpr const char* kProcDir = "/proc/sys/dev/parport";

std::string ErrorText(int err) { return std::generic_category().message(err); }

std::string Hex(long value) { return PortChoice{PortChoice::Kind::Base, {}, value}.Text(); }

// "parport3" -> 3; any other name (such as "default") -> nothing.
std::optional<int> PortNumber(std::string_view name) {
    constexpr std::string_view kPrefix = "parport";
    if (name.size() <= kPrefix.size() || name.substr(0, kPrefix.size()) != kPrefix) return {};
    const std::string_view digits = name.substr(kPrefix.size());
    int number = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec != std::errc{} || end != digits.data() + digits.size()) return {};
    return number;
}

// base-addr holds "base<TAB>highbase\n" in decimal; the first number is the port's base.
std::optional<long> ParseBase(const std::string& text) {
    const auto start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) return {};
    long base = 0;
    auto [end, ec] = std::from_chars(text.data() + start, text.data() + text.size(), base);
    (void)end;
    if (ec != std::errc{}) return {};
    return base;
}

// A port the system knows of: "parport0", and its base when the kernel reports one.
struct Found {
    int number;
    std::string name;
    std::optional<long> base;
};

std::string Join(const std::vector<std::string>& items) {
    std::string list;
    for (const auto& item : items) list += (list.empty() ? "" : ", ") + item;
    return list;
}

// "parport0 по адресу 0xd010, parport1 (адрес неизвестен)" and its English twin.
std::pair<std::string, std::string> ListPorts(const std::vector<Found>& ports) {
    std::vector<std::string> ru, en;
    for (const auto& p : ports) {
        ru.push_back(p.name + (p.base ? " по адресу " + Hex(*p.base) : " (адрес неизвестен)"));
        en.push_back(p.name + (p.base ? " at " + Hex(*p.base) : " (address unknown)"));
    }
    return {Join(ru), Join(en)};
}

// How to pick that port: "--port 0xd010 или --port /dev/parport0" and its English twin.
std::pair<std::string, std::string> HowToPick(const Found& port) {
    const std::string device = "--port /dev/" + port.name;
    if (!port.base) return {device, device};
    const std::string base = "--port " + Hex(*port.base);
    return {base + " или " + device, base + " or " + device};
}

const std::string kTryAgainRu =
    "Повторите попытку: следующее обращение к порту откроет его заново. Если ошибка не "
    "исчезает, проверьте, что порт включён (встроенный — в настройках BIOS, плата — вставлена "
    "до конца), и посмотрите сообщения ядра: sudo dmesg.";
const std::string kTryAgainEn =
    "Try again: the next port call opens the port afresh. If the error persists, check that the "
    "port is enabled (an on-board port in the BIOS setup, a card fully seated) and look at the "
    "kernel messages: sudo dmesg.";

PortError NoPorts() {
    return PortError(
        "Параллельный порт не найден: ядро не сообщает ни об одном порте (/proc/sys/dev/parport "
        "пуст, устройств /dev/parport* нет).\n"
        "Загрузите модули parport_pc и ppdev: sudo modprobe -a parport_pc ppdev. Если порт так и "
        "не появится, проверьте, что встроенный порт включён в настройках BIOS, а плата порта "
        "вставлена до конца.",
        "No parallel port found: the kernel reports none (/proc/sys/dev/parport is empty, there "
        "is no /dev/parport* device).\n"
        "Load the parport_pc and ppdev modules: sudo modprobe -a parport_pc ppdev. If the port "
        "still does not appear, check that an on-board port is enabled in the BIOS setup, or that "
        "the port card is fully seated.");
}

// Device nodes but no addresses: a port chosen by its base cannot be found.
PortError NoAddresses(const PortChoice& choice, const std::vector<std::string>& devices) {
    const std::string list = Join(devices);
    return PortError(
        "Найдены устройства " + list +
            ", но ядро не сообщает адреса портов (нет записей в /proc/sys/dev/parport), "
            "и порт по адресу " + choice.Text() + " выбрать нельзя.\n"
            "Проверьте, что загружен модуль parport_pc (sudo modprobe -a parport_pc ppdev) "
            "и что смонтирована файловая система /proc, или выберите порт по имени устройства: "
            "--port " + devices.front() + ".",
        "Found the devices " + list +
            ", but the kernel reports no port addresses (no entries in /proc/sys/dev/parport), "
            "so the port at " + choice.Text() + " cannot be chosen.\n"
            "Check that the parport_pc module is loaded (sudo modprobe -a parport_pc ppdev) and "
            "that /proc is mounted, or choose the port by its device name: --port " +
            devices.front() + ".");
}

// The port asked for is not among `ports` (not empty): list them and say how to pick one.
PortError NotThere(const PortChoice& choice, const std::vector<Found>& ports) {
    std::string ru, en;
    switch (choice.kind) {
        case PortChoice::Kind::Default:
            ru = "Параллельный порт по адресу " + choice.Text() + " (порт по умолчанию) не найден.";
            en = "There is no parallel port at " + choice.Text() + " (the default port).";
            break;
        case PortChoice::Kind::Base:
            ru = "Параллельный порт по адресу " + choice.Text() + " не найден.";
            en = "There is no parallel port at " + choice.Text() + ".";
            break;
        case PortChoice::Kind::Device:
            ru = "Порт " + choice.Text() + " не найден: такого устройства нет.";
            en = "There is no port " + choice.Text() + ": no such device.";
            break;
    }
    const auto [listRu, listEn] = ListPorts(ports);
    const auto [pickRu, pickEn] = HowToPick(ports.front());
    return PortError(ru + " Есть порты: " + listRu + ".\n" +
                         "Выберите порт, к которому подключена память, параметром --port, "
                         "например " + pickRu + ".",
                     en + " The ports there are: " + listEn + ".\n" +
                         "Choose the port the memory is wired to with --port, for example " +
                         pickEn + ".");
}

PortError NoDevice(const std::string& name, std::optional<long> base, const std::string& path) {
    const std::string at = base ? " " + Hex(*base) : "";
    return PortError("Порт " + name + (base ? " по адресу" + at : "") + " найден, но устройства " +
                         path + " нет.\n" + "Загрузите модуль ppdev: sudo modprobe ppdev.",
                     "The port " + name + (base ? " at" + at : "") + " is there, but the device " +
                         path + " is not.\n" + "Load the ppdev module: sudo modprobe ppdev.");
}

PortError AccessDenied(const std::string& path, int err) {
    return PortError("Нет доступа к " + path + " (" + ErrorText(err) + ").\n" +
                         "Добавьте пользователя в группу lp: sudo usermod -aG lp $USER, затем "
                         "войдите в систему заново.",
                     "No access to " + path + " (" + ErrorText(err) + ").\n" +
                         "Add the user to the group lp: sudo usermod -aG lp $USER, then log in "
                         "again.");
}

PortError Busy(const std::string& path, const char* op, int err) {
    const std::string why = std::string(" (") + op + ": " + ErrorText(err) + ").\n";
    return PortError("Порт " + path + " занят: монопольный доступ не получен" + why +
                         "Порт держит другой драйвер, например драйвер принтера lp. Выгрузите "
                         "его: sudo rmmod lp, и закройте программы, работающие с портом.",
                     "The port " + path + " is busy: exclusive access was refused" + why +
                         "Another driver holds the port, such as the printer driver lp. Unload "
                         "it: sudo rmmod lp, and close the programs that use the port.");
}

// open() found the device node but no port behind it.
PortError NoPortBehindDevice(const std::string& path, int err) {
    return PortError(
        "Не удалось открыть " + path + " (" + ErrorText(err) +
            "): устройство есть, но порта за ним нет — драйвер порта выгружен или плата "
            "(переходник) порта извлечена.\n"
            "Загрузите драйверы снова: sudo modprobe -a parport_pc ppdev, вставьте плату или "
            "переходник заново и повторите попытку.",
        "Cannot open " + path + " (" + ErrorText(err) +
            "): the device node is there but no port is behind it; the port driver was unloaded "
            "or the port card (adapter) removed.\n"
            "Load the drivers again: sudo modprobe -a parport_pc ppdev, plug the card or adapter "
            "back in and try again.");
}

PortError OpenFailed(const std::string& path, int err) {
    return PortError("Не удалось открыть " + path + " (" + ErrorText(err) + ").\n" + kTryAgainRu,
                     "Cannot open " + path + " (" + ErrorText(err) + ").\n" + kTryAgainEn);
}

// An ioctl on the open device failed; the device is closed by the time the user reads this.
PortError CallFailed(const char* op, const std::string& path, int err) {
    const std::string ru =
        std::string("Не удалось выполнить ") + op + " на " + path + " (" + ErrorText(err) + ")";
    const std::string en =
        std::string("Cannot run ") + op + " on " + path + " (" + ErrorText(err) + ")";
    if (err == ENODEV || err == ENXIO) {
        return PortError(ru + ": порт пропал — драйвер порта выгружен или плата (переходник) "
                              "извлечена.\n"
                              "Загрузите драйверы снова: sudo modprobe -a parport_pc ppdev или "
                              "вставьте плату (переходник) заново; следующее обращение к порту "
                              "откроет его заново.",
                         en + ": the port is gone; its driver was unloaded or the card (adapter) "
                              "removed.\n"
                              "Load the drivers again: sudo modprobe -a parport_pc ppdev, or plug "
                              "the card (adapter) back in; the next port call opens the port "
                              "afresh.");
    }
    return PortError(ru + ".\n" + kTryAgainRu, en + ".\n" + kTryAgainEn);
}

PortError Refused(int port, int bit, bool write) {
    const std::string where = std::to_string(bit) + " порта " + std::to_string(port);
    return PortError(std::string(write ? "Запись" : "Чтение") + " бита " + where +
                         " отклонено: память подключена только к битам 888.0 и 890.2 (запись) и "
                         "889.3 (чтение).\n"
                         "Это ошибка в программе; сообщите о ней разработчику.",
                     std::string(write ? "Writing" : "Reading") + " bit " + std::to_string(bit) +
                         " of port " + std::to_string(port) +
                         " refused: the memory is wired only to bits 888.0 and 890.2 (write) and "
                         "889.3 (read).\n"
                         "This is a bug in the program; please report it to its developer.");
}

bool Is(PinRef pin, int port, int bit) { return pin.port == port && pin.bit == bit; }

}  // namespace

PpdevPort::PpdevPort() : PpdevPort(PortChoice{}) {}

PpdevPort::PpdevPort(std::shared_ptr<PpdevSystem> sys) : PpdevPort(PortChoice{}, std::move(sys)) {}

PpdevPort::PpdevPort(PortChoice choice, std::shared_ptr<PpdevSystem> sys)
    : choice_(std::move(choice)), sys_(std::move(sys)) {}

PpdevPort::~PpdevPort() {
    if (IsOpen()) Close();
}

LineTiming PpdevPort::Timing() const { return LineTiming::StandardMode(); }

void PpdevPort::SetPortBit(int port, int bit) { WriteBit(port, bit, true); }

void PpdevPort::ClrPortBit(int port, int bit) { WriteBit(port, bit, false); }

void PpdevPort::WriteBit(int port, int bit, bool one) {
    const bool data = Is(Wiring::kSdaOut, port, bit);
    if (!data && !Is(Wiring::kSclOut, port, bit)) throw Refused(port, bit, true);
    EnsureOpen();
    unsigned char& shadow = data ? data_ : control_;
    const auto mask = static_cast<unsigned char>(1u << bit);
    unsigned char value = one ? (shadow | mask) : (shadow & ~mask);
    if (value == shadow) return;  // the register holds it already: the bit is as asked
    Call(data ? PPWDATA : PPWCONTROL, data ? "PPWDATA" : "PPWCONTROL", &value);
    shadow = value;  // only once the register really holds it
}

std::int32_t PpdevPort::GetPortBit(int port, int bit) {
    if (!Is(Wiring::kSdaIn, port, bit)) throw Refused(port, bit, false);
    EnsureOpen();
    unsigned char status = 0;
    Call(PPRSTATUS, "PPRSTATUS", &status);
    return (status >> bit) & 1;
}

void PpdevPort::Call(unsigned long request, const char* name, unsigned char* arg) {
    if (int err = sys_->Ioctl(fd_, request, arg)) {
        PortError error = CallFailed(name, path_, err);
        // Whatever broke (a port that went away, a reloaded driver), this file will not work
        // again: let it go, so that the next call opens the port afresh.
        Close();
        throw error;
    }
}

void PpdevPort::EnsureOpen() {
    if (!IsOpen()) OpenDevice(FindDevice());
}

std::string PpdevPort::FindDevice() {
    // Looked up only when needed: a named device that exists is used without them.
    const auto procPorts = [&] {
        std::vector<Found> ports;
        for (const auto& name : sys_->ListDir(kProcDir)) {
            const auto number = PortNumber(name);
            if (!number) continue;
            const auto text =
                sys_->ReadTextFile(std::string(kProcDir) + "/" + name + "/base-addr");
            ports.push_back({*number, name, text ? ParseBase(*text) : std::nullopt});
        }
        std::sort(ports.begin(), ports.end(),
                  [](const Found& a, const Found& b) { return a.number < b.number; });
        return ports;
    };
    const auto devPorts = [&] {
        std::vector<Found> ports;
        for (const auto& name : sys_->ListDir("/dev")) {
            if (const auto number = PortNumber(name)) ports.push_back({*number, name, {}});
        }
        std::sort(ports.begin(), ports.end(),
                  [](const Found& a, const Found& b) { return a.number < b.number; });
        return ports;
    };

    if (choice_.kind == PortChoice::Kind::Device) {
        if (sys_->Exists(choice_.device)) return choice_.device;
        const std::string name = choice_.device.substr(choice_.device.rfind('/') + 1);
        auto ports = procPorts();
        for (const auto& p : ports) {
            if (p.name == name) throw NoDevice(p.name, p.base, choice_.device);
        }
        if (ports.empty()) ports = devPorts();
        if (ports.empty()) throw NoPorts();
        throw NotThere(choice_, ports);
    }

    const auto ports = procPorts();
    if (ports.empty()) {
        std::vector<std::string> devices;
        for (const auto& p : devPorts()) devices.push_back("/dev/" + p.name);
        if (devices.empty()) throw NoPorts();
        throw NoAddresses(choice_, devices);
    }
    for (const auto& p : ports) {
        if (p.base == choice_.base) {
            std::string path = "/dev/" + p.name;
            if (!sys_->Exists(path)) throw NoDevice(p.name, p.base, path);
            return path;
        }
    }
    throw NotThere(choice_, ports);
}

void PpdevPort::OpenDevice(const std::string& path) {
    const auto opened = sys_->Open(path, O_RDWR | O_CLOEXEC);
    if (opened.fd < 0) {
        switch (opened.error) {
            case EACCES:
            case EPERM:
                throw AccessDenied(path, opened.error);
            case ENOENT:
                throw NoDevice(path.substr(path.rfind('/') + 1), std::nullopt, path);
            case EBUSY:
                throw Busy(path, "open", opened.error);
            case ENXIO:
            case ENODEV:
                throw NoPortBehindDevice(path, opened.error);
            default:
                throw OpenFailed(path, opened.error);
        }
    }
    fd_ = opened.fd;
    path_ = path;
    try {
        // PPEXCL must come before PPCLAIM: with it the claim fails instead of sharing the port
        // with another driver (lp) that would drive the same pins.
        if (int err = sys_->Ioctl(fd_, PPEXCL, nullptr)) throw Busy(path, "PPEXCL", err);
        if (int err = sys_->Ioctl(fd_, PPCLAIM, nullptr)) throw Busy(path, "PPCLAIM", err);
        claimed_ = true;
        int reverse = 0;  // data lines driven by the port
        if (int err = sys_->Ioctl(fd_, PPDATADIR, &reverse)) throw CallFailed("PPDATADIR", path, err);
        // The shadows start from what the registers hold now, at every open.
        if (int err = sys_->Ioctl(fd_, PPRDATA, &data_)) throw CallFailed("PPRDATA", path, err);
        if (int err = sys_->Ioctl(fd_, PPRCONTROL, &control_)) {
            throw CallFailed("PPRCONTROL", path, err);
        }
        everOpened_ = true;
    } catch (...) {
        Close();
        throw;
    }
}

void PpdevPort::Close() {
    if (claimed_) sys_->Ioctl(fd_, PPRELEASE, nullptr);  // best effort: the port may be gone
    sys_->Close(fd_);
    fd_ = -1;
    claimed_ = false;
    path_.clear();
}

}  // namespace lpt
