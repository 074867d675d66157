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
constexpr long kWantedBase = kDataPort;  // 0x378

std::string ErrorText(int err) { return std::generic_category().message(err); }

std::string Hex(long value) {
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, 16);
    (void)ec;
    return "0x" + std::string(buf, end);
}

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

const std::string kTryAgain =
    "Повторите попытку. Если ошибка не исчезает, проверьте, что порт включён в настройках BIOS, "
    "и посмотрите сообщения ядра: sudo dmesg.";

PortError NoPorts() {
    return PortError(
        "Параллельный порт не найден: ядро не сообщает ни об одном порте (/proc/sys/dev/parport "
        "пуст, устройств /dev/parport* нет).\n"
        "Загрузите модули parport_pc и ppdev: sudo modprobe -a parport_pc ppdev. Если порт так и "
        "не появится, проверьте, что он включён в настройках BIOS.");
}

PortError NoAddresses(const std::vector<std::string>& devices) {
    std::string list;
    for (const auto& d : devices) list += (list.empty() ? "" : ", ") + d;
    return PortError(
        "Найдены устройства " + list +
        ", но ядро не сообщает адреса портов (нет записей в /proc/sys/dev/parport), "
        "и порт 0x378 выбрать нельзя.\n"
        "Проверьте, что загружен модуль parport_pc (sudo modprobe -a parport_pc ppdev) "
        "и что смонтирована файловая система /proc.");
}

PortError NoPortAt378(const std::vector<long>& bases) {
    std::string list;
    for (long b : bases) list += (list.empty() ? "" : ", ") + Hex(b);
    return PortError(
        "Параллельный порт по адресу 0x378 не найден. " +
        (list.empty() ? std::string("Порты есть, но их адреса прочитать не удалось.")
                      : "Найдены порты по адресам: " + list + ".") +
        "\nПамять должна быть подключена к порту 0x378: установите в настройках BIOS адрес "
        "порта 0x378 или подключите память к порту с этим адресом.");
}

PortError NoDevice(const std::string& name, const std::string& path) {
    return PortError("Порт 0x378 найден (" + name + "), но устройства " + path + " нет.\n" +
                     "Загрузите модуль ppdev: sudo modprobe ppdev.");
}

PortError AccessDenied(const std::string& path, int err) {
    return PortError("Нет доступа к " + path + " (" + ErrorText(err) + ").\n" +
                     "Добавьте пользователя в группу lp: sudo usermod -aG lp $USER, затем войдите "
                     "в систему заново.");
}

PortError Busy(const std::string& path, const char* op, int err) {
    return PortError("Порт " + path + " занят: монопольный доступ не получен (" + op + ": " +
                     ErrorText(err) + ").\n" +
                     "Порт держит другой драйвер, например драйвер принтера lp. Выгрузите его: "
                     "sudo rmmod lp, и закройте программы, работающие с портом.");
}

PortError Failed(const std::string& what, const std::string& path, int err) {
    return PortError("Не удалось " + what + " " + path + " (" + ErrorText(err) + ").\n" +
                     kTryAgain);
}

PortError Refused(int port, int bit, bool write) {
    return PortError(std::string(write ? "Запись" : "Чтение") + " бита " + std::to_string(bit) +
                     " порта " + std::to_string(port) +
                     " отклонено: память подключена только к битам 888.0 и 890.2 (запись) и "
                     "889.3 (чтение).\n"
                     "Это ошибка в программе; сообщите о ней разработчику.");
}

bool Is(PinRef pin, int port, int bit) { return pin.port == port && pin.bit == bit; }

}  // namespace

PpdevPort::PpdevPort() : PpdevPort(MakeLinuxPpdevSystem()) {}

PpdevPort::PpdevPort(std::shared_ptr<PpdevSystem> sys) : sys_(std::move(sys)) {}

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
    if (int err = sys_->Ioctl(fd_, data ? PPWDATA : PPWCONTROL, &value)) {
        throw Failed(data ? "выполнить PPWDATA на" : "выполнить PPWCONTROL на", path_, err);
    }
    shadow = value;  // only once the register really holds it
}

std::int32_t PpdevPort::GetPortBit(int port, int bit) {
    if (!Is(Wiring::kSdaIn, port, bit)) throw Refused(port, bit, false);
    EnsureOpen();
    unsigned char status = 0;
    if (int err = sys_->Ioctl(fd_, PPRSTATUS, &status)) {
        throw Failed("выполнить PPRSTATUS на", path_, err);
    }
    return (status >> bit) & 1;
}

void PpdevPort::EnsureOpen() {
    if (!IsOpen()) OpenDevice(FindDevice());
}

std::string PpdevPort::FindDevice() {
    struct Found {
        int number;
        std::string name;
        std::optional<long> base;
    };
    std::vector<Found> ports;
    for (const auto& name : sys_->ListDir(kProcDir)) {
        const auto number = PortNumber(name);
        if (!number) continue;
        const auto text = sys_->ReadTextFile(std::string(kProcDir) + "/" + name + "/base-addr");
        ports.push_back({*number, name, text ? ParseBase(*text) : std::nullopt});
    }
    std::sort(ports.begin(), ports.end(),
              [](const Found& a, const Found& b) { return a.number < b.number; });

    if (ports.empty()) {
        std::vector<std::string> devices;
        for (const auto& name : sys_->ListDir("/dev")) {
            if (PortNumber(name)) devices.push_back("/dev/" + name);
        }
        std::sort(devices.begin(), devices.end());
        if (devices.empty()) throw NoPorts();
        throw NoAddresses(devices);
    }

    std::vector<long> bases;
    for (const auto& p : ports) {
        if (p.base == kWantedBase) {
            std::string path = "/dev/" + p.name;
            if (!sys_->Exists(path)) throw NoDevice(p.name, path);
            return path;
        }
        if (p.base) bases.push_back(*p.base);
    }
    throw NoPortAt378(bases);
}

void PpdevPort::OpenDevice(const std::string& path) {
    const auto opened = sys_->Open(path, O_RDWR | O_CLOEXEC);
    if (opened.fd < 0) {
        switch (opened.error) {
            case EACCES:
            case EPERM:
                throw AccessDenied(path, opened.error);
            case ENOENT:
                throw NoDevice(path.substr(path.rfind('/') + 1), path);
            default:
                throw Failed("открыть", path, opened.error);
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
        if (int err = sys_->Ioctl(fd_, PPDATADIR, &reverse)) {
            throw Failed("выполнить PPDATADIR на", path, err);
        }
        if (int err = sys_->Ioctl(fd_, PPRDATA, &data_)) {
            throw Failed("выполнить PPRDATA на", path, err);
        }
        if (int err = sys_->Ioctl(fd_, PPRCONTROL, &control_)) {
            throw Failed("выполнить PPRCONTROL на", path, err);
        }
    } catch (...) {
        Close();
        throw;
    }
}

void PpdevPort::Close() {
    if (claimed_) sys_->Ioctl(fd_, PPRELEASE, nullptr);
    sys_->Close(fd_);
    fd_ = -1;
    claimed_ = false;
    path_.clear();
}

}  // namespace lpt
