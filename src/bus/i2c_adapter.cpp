#include "bus/i2c_adapter.h"

#include <fcntl.h>
#include <linux/i2c.h>
#include <linux/i2c-dev.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "bus/bus_error.h"

namespace lpt {

namespace {

constexpr const char* kClassDir = "/sys/class/i2c-adapter";
constexpr const char* kDevicesDir = "/sys/bus/i2c/devices";

std::string ErrorText(int err) { return std::generic_category().message(err); }

// "i2c-7" -> 7; any other name ("1-0050", "i2c-dev") -> nothing.
std::optional<int> NumberOfName(std::string_view name) {
    constexpr std::string_view kPrefix = "i2c-";
    if (name.size() <= kPrefix.size() || name.substr(0, kPrefix.size()) != kPrefix) return {};
    const std::string_view digits = name.substr(kPrefix.size());
    if (digits.size() > 6 || digits.front() < '0' || digits.front() > '9') return {};
    int number = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec != std::errc{} || end != digits.data() + digits.size()) return {};
    return number;
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The adapter's name file, under the class directory or else under the bus's devices.
std::optional<std::string> ReadName(DeviceSystem& system, int number) {
    const std::string dir = "/i2c-" + std::to_string(number) + "/name";
    for (const char* root : {kClassDir, kDevicesDir}) {
        if (auto text = system.ReadTextFile(root + dir)) return Trimmed(*text);
    }
    return std::nullopt;
}

// "0x50".
std::string Address7(std::uint8_t address) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", address);
    return text;
}

// The sysfs name of a device on adapter `adapter` at `address`: "1-0050".
std::string ClientName(int adapter, std::uint8_t address) {
    char text[8];
    std::snprintf(text, sizeof text, "-%04x", address);
    return std::to_string(adapter) + text;
}

// The adapter's own name, in parentheses when there is one: "i2c-7 (MCP2221 usb-i2c bridge)".
std::string Named(int number, const std::string& name) {
    const std::string id = "i2c-" + std::to_string(number);
    return name.empty() ? id : id + " (" + name + ")";
}

const Wording kHowToList{
    "i2cdetect -l (package i2c-tools) lists the adapters there are",
    "список адаптеров выводит i2cdetect -l (пакет i2c-tools)"};

PortError NoSuchAdapter(int number, const std::vector<AdapterInfo>& adapters) {
    const std::string device = "/dev/i2c-" + std::to_string(number);
    for (const AdapterInfo& a : adapters) {
        if (a.number != number) continue;
        // The kernel has the adapter, but i2c-dev gives it no device node.
        return PortError(
            {"the kernel I2C adapter " + Named(number, a.name) + " is there, but its device " +
                 device + " is not",
             "Адаптер I2C ядра " + Named(number, a.name) + " есть, но устройства " + device +
                 " нет."},
            {"load the i2c-dev module: sudo modprobe i2c-dev (to load it at every start, put "
             "i2c-dev in /etc/modules)",
             "Загрузите модуль i2c-dev: sudo modprobe i2c-dev (чтобы он загружался при каждом "
             "запуске, впишите i2c-dev в /etc/modules)."});
    }
    if (adapters.empty())
        return PortError(
            {"there is no kernel I2C adapter i2c-" + std::to_string(number) +
                 ", nor any other: the kernel lists none (" + kClassDir + " is empty)",
             "Адаптер I2C ядра i2c-" + std::to_string(number) +
                 " не найден, как и любой другой: ядро не сообщает ни об одном (" + kClassDir +
                 " пуст)."},
            {"plug the adapter in and load i2c-dev: sudo modprobe i2c-dev; " + kHowToList.en,
             "Подключите адаптер и загрузите модуль i2c-dev: sudo modprobe i2c-dev; " +
                 kHowToList.ru + "."});
    const std::string list = AdapterChoices(adapters);
    return PortError(
        {"there is no kernel I2C adapter i2c-" + std::to_string(number) + " (" + device +
             "). The adapters there are: " + list,
         "Адаптер I2C ядра i2c-" + std::to_string(number) + " (" + device +
             ") не найден. Есть адаптеры: " + list + "."},
        {"plug the adapter in (a USB adapter gets the next free number: " + kHowToList.en +
             "), or choose one of those with --port",
         "Подключите адаптер (USB-адаптер получает следующий свободный номер; " + kHowToList.ru +
             ") или выберите один из этих параметром --port."});
}

PortError NoAccess(const std::string& device, int err) {
    return PortError(
        {"no access to " + device + " (" + ErrorText(err) + ")",
         "Нет доступа к " + device + " (" + ErrorText(err) + ")."},
        {"add the user to the group i2c: sudo adduser $USER i2c, then log in again (or give the "
         "device to a group of the user's with a udev rule)",
         "Добавьте пользователя в группу i2c: sudo adduser $USER i2c, затем войдите в систему "
         "заново (или отдайте устройство группе пользователя правилом udev)."});
}

PortError Gone(const std::string& adapter, const char* op, int err) {
    return PortError(
        {"the adapter " + adapter + " went away (" + op + ": " + ErrorText(err) +
             "): it was unplugged or its driver unloaded; nothing that was under way finished",
         "Адаптер " + adapter + " пропал (" + op + ": " + ErrorText(err) +
             "): он отключён или его драйвер выгружен. Ничто из начатого не завершено."},
        {"plug it in again (it may come back under another number: " + kHowToList.en +
             ") and run the operation again",
         "Подключите его снова (он может получить другой номер; " + kHowToList.ru +
             ") и повторите операцию."});
}

}  // namespace

std::string AdapterInfo::Text() const {
    const std::string id = "i2c-" + std::to_string(number);
    return name.empty() ? id : id + ": " + name;
}

std::vector<AdapterInfo> ListAdapters(DeviceSystem& system) {
    std::vector<AdapterInfo> adapters;
    for (const char* root : {kClassDir, kDevicesDir}) {
        for (const std::string& entry : system.ListDir(root)) {
            const auto number = NumberOfName(entry);
            if (!number) continue;
            adapters.push_back({*number, ReadName(system, *number).value_or("")});
        }
        if (!adapters.empty()) break;  // the devices directory only when the class one is missing
    }
    std::sort(adapters.begin(), adapters.end(),
              [](const AdapterInfo& a, const AdapterInfo& b) { return a.number < b.number; });
    return adapters;
}

std::optional<int> AdapterNumber(const std::string& text) {
    constexpr std::string_view kDev = "/dev/";
    std::string_view name = text;
    if (name.substr(0, kDev.size()) == kDev) name.remove_prefix(kDev.size());
    return NumberOfName(name);
}

std::string AdapterChoices(const std::vector<AdapterInfo>& adapters) {
    std::string list;
    for (const AdapterInfo& a : adapters)
        list += (list.empty() ? "" : ", ") + a.Text() + " (--port /dev/i2c-" +
                std::to_string(a.number) + ")";
    return list;
}

PortError AddressHeld(int adapter, std::uint8_t address, const std::string& driver) {
    const std::string client = ClientName(adapter, address);
    const std::string at = Address7(address) + " on i2c-" + std::to_string(adapter);
    const std::string atRu = Address7(address) + " на i2c-" + std::to_string(adapter);
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02X", address << 1);
    if (driver == kUnnamedDriver) {
        const std::string find = "readlink /sys/bus/i2c/devices/" + client + "/driver";
        const std::string unbind =
            "echo " + client + " | sudo tee /sys/bus/i2c/drivers/DRIVER/unbind";
        return PortError(
            {"the address " + at + " (device byte " + byte + ") is held by a kernel driver "
             "(device " + client + "); nothing was sent to it",
             "Адрес " + atRu + " (байт устройства " + byte + ") занят драйвером ядра "
             "(устройство " + client + "). Ему ничего не отправлено."},
            {"find the driver: " + find + ", and unbind it: " + unbind,
             "Найдите драйвер: " + find + " — и отвяжите его: " + unbind + "."});
    }
    const std::string unbind =
        "echo " + client + " | sudo tee /sys/bus/i2c/drivers/" + driver + "/unbind";
    return PortError(
        {"the address " + at + " (device byte " + byte + ") is held by the kernel driver " +
             driver + " (device " + client + "); nothing was sent to it",
         "Адрес " + atRu + " (байт устройства " + byte + ") занят драйвером ядра " + driver +
             " (устройство " + client + "). Ему ничего не отправлено."},
        {"unbind the driver from it: " + unbind + " (bind it again the same way with .../" +
             driver + "/bind)",
         "Отвяжите от него драйвер: " + unbind + " (привязать снова — так же, через .../" +
             driver + "/bind)."});
}

I2cAdapter::I2cAdapter(std::shared_ptr<DeviceSystem> system, int number)
    : system_(std::move(system)), number_(number), maxMessage_(kI2cDevMaxMessage) {}

I2cAdapter::~I2cAdapter() { Close(); }

std::string I2cAdapter::Device() const { return "/dev/i2c-" + std::to_string(number_); }

const std::string& I2cAdapter::Name() {
    if (!name_) name_ = ReadName(*system_, number_).value_or("");
    return *name_;
}

std::string I2cAdapter::Describe() { return Named(number_, Name()); }

void I2cAdapter::Close() {
    if (fd_ >= 0) system_->Close(fd_);
    fd_ = -1;
}

void I2cAdapter::Open() {
    if (fd_ >= 0) return;
    const std::string device = Device();
    const auto opened = system_->Open(device, O_RDWR | O_CLOEXEC);
    if (opened.fd < 0) {
        switch (opened.error) {
            case ENOENT:
            case ENODEV:
            case ENXIO:
                throw NoSuchAdapter(number_, ListAdapters(*system_));
            case EACCES:
            case EPERM:
                throw NoAccess(device, opened.error);
            default:
                throw PortError(
                    {"cannot open " + device + " (" + ErrorText(opened.error) + ")",
                     "Не удалось открыть " + device + " (" + ErrorText(opened.error) + ")."},
                    {"check that the adapter is plugged in, look at the kernel messages (sudo "
                     "dmesg) and try again",
                     "Проверьте, что адаптер подключён, посмотрите сообщения ядра (sudo dmesg) "
                     "и повторите попытку."});
        }
    }
    fd_ = opened.fd;
    unsigned long functions = 0;
    if (const int err = system_->Ioctl(fd_, I2C_FUNCS, &functions)) Fail("I2C_FUNCS", err);
    if ((functions & I2C_FUNC_I2C) == 0) {
        Close();
        const std::string adapter = Describe();
        throw PortError(
            {"the adapter " + adapter + " offers only SMBus transfers, which cannot carry the "
             "memory's sequential reads and page writes",
             "Адаптер " + adapter + " умеет только передачи SMBus, а ими не выполнить "
             "последовательное чтение и страничную запись памяти."},
            {"use another adapter (a USB-I2C bridge, a board's I2C bus); " + kHowToList.en,
             "Используйте другой адаптер (мост USB-I2C, шину I2C платы); " + kHowToList.ru +
                 "."});
    }
    functions_ = functions;
}

bool I2cAdapter::PcSmbus() { return Name().rfind("SMBus", 0) == 0; }

std::optional<std::string> I2cAdapter::Holder(std::uint8_t address) {
    Open();
    // i2c-dev refuses the address with EBUSY only while a driver is bound to a device there.
    // I2C_SLAVE_FORCE would take it all the same: never used.
    const int err = system_->Ioctl(fd_, I2C_SLAVE,
                                   reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)));
    if (err == 0) return std::nullopt;
    if (err != EBUSY) Fail("I2C_SLAVE", err);
    const auto link = system_->ReadLink(std::string(kDevicesDir) + "/" +
                                        ClientName(number_, address) + "/driver");
    if (!link || link->empty()) return kUnnamedDriver;
    return link->substr(link->rfind('/') + 1);
}

void I2cAdapter::Fail(const char* op, int err) {
    const std::string adapter = Describe();
    const std::string why = std::string(" (") + op + ": " + ErrorText(err) + ")";
    switch (err) {
        case ENODEV:
        case ENOENT:
        case ESHUTDOWN:
            // This file will not work again: the next call opens the device afresh.
            Close();
            throw Gone(adapter, op, err);
        case EACCES:
        case EPERM:
            Close();
            throw NoAccess(Device(), err);
        case ETIMEDOUT:
            throw BusError(
                {"the bus of " + adapter + " timed out" + why +
                     ": a device holds SCL or SDA low, or the lines have no pull-up",
                 "Шина адаптера " + adapter + " не ответила вовремя" + why +
                     ": устройство держит SCL или SDA в нуле, или у линий нет подтягивающих "
                     "резисторов."},
                {"check the wiring of SDA, SCL and ground, the pull-ups and the memory's "
                 "supply; switching the memory's supply off and on frees a memory stuck in the "
                 "middle of a byte",
                 "Проверьте подключение SDA, SCL и общего провода, подтягивающие резисторы и "
                 "питание памяти; память, застрявшую посреди байта, освобождает выключение и "
                 "включение её питания."});
        case EAGAIN:
            throw BusError(
                {"arbitration lost on the bus of " + adapter + why +
                     ": another master drives this bus",
                 "Потерян арбитраж на шине адаптера " + adapter + why +
                     ": шиной управляет другой ведущий."},
                {"make sure no other master (a board controller, another adapter, another "
                 "program) uses the bus while the memory is read or written, then try again",
                 "Убедитесь, что никакой другой ведущий (контроллер платы, другой адаптер, "
                 "другая программа) не работает с шиной во время чтения или записи памяти, "
                 "затем повторите."});
        default:
            break;
    }
    if (std::string_view(op) != "I2C_RDWR") {
        Close();
        const std::string error = " (" + ErrorText(err) + ")";
        throw PortError(
            {"cannot run " + std::string(op) + " on " + Device() + error,
             "Не удалось выполнить " + std::string(op) + " на " + Device() + error + "."},
            {"look at the kernel messages (sudo dmesg) and try again",
             "Посмотрите сообщения ядра (sudo dmesg) и повторите попытку."});
    }
    const Wording nack = err == EIO ? Wording{" (some adapters report so a byte the device did "
                                              "not acknowledge)",
                                              " (так некоторые адаптеры сообщают о байте, "
                                              "который устройство не подтвердило)"}
                                    : Wording{};
    throw BusError({"the adapter " + adapter + " reported a failed transfer" + why + nack.en,
                    "Адаптер " + adapter + " сообщил о неудачной передаче" + why + nack.ru +
                        "."},
                   {"check the wiring of SDA, SCL and ground and the memory's supply, then try "
                    "again; sudo dmesg may tell more",
                    "Проверьте подключение SDA, SCL и общего провода и питание памяти, затем "
                    "повторите; подробности может показать sudo dmesg."});
}

I2cAdapter::Outcome I2cAdapter::Transfer(std::vector<I2cMessage>& messages) {
    if (messages.empty() || messages.size() > I2C_RDWR_IOCTL_MAX_MSGS)
        throw std::invalid_argument("a transfer of " + std::to_string(messages.size()) +
                                    " messages");
    std::vector<i2c_msg> raw(messages.size());
    int longest = 0;
    for (size_t i = 0; i < messages.size(); ++i) {
        I2cMessage& m = messages[i];
        const int length = static_cast<int>(m.data.size());
        if (length > kI2cDevMaxMessage || m.address > 0x7F)
            throw std::invalid_argument("a message of " + std::to_string(length) +
                                        " bytes to " + Address7(m.address));
        longest = std::max(longest, length);
        raw[i].addr = m.address;
        raw[i].flags = m.read ? I2C_M_RD : 0;
        raw[i].len = static_cast<__u16>(length);
        raw[i].buf = m.data.data();
    }
    Open();
    i2c_rdwr_ioctl_data request{raw.data(), static_cast<__u32>(raw.size())};
    const int err = system_->Ioctl(fd_, I2C_RDWR, &request);
    switch (err) {
        case 0:
            longestDone_ = std::max(longestDone_, longest);
            // Went through at the length learned so far: the limit may lie higher.
            if (longest == maxMessage_ && shortestRefused_ - maxMessage_ > 1)
                maxMessage_ = (maxMessage_ + shortestRefused_) / 2;
            return Outcome::Done;
        case ENXIO:
        case EREMOTEIO:
            return Outcome::NoAnswer;
        case EOPNOTSUPP:
        case EINVAL:
        case EMSGSIZE:
            // A length the adapter does not take. Not when a message as long went through
            // before, nor for a message this short: the adapter refuses something else.
            if (longest > kShortestMessageLimit && longest > longestDone_) {
                shortestRefused_ = std::min(shortestRefused_, longest);
                maxMessage_ = std::max({kShortestMessageLimit, longestDone_,
                                        std::min(maxMessage_, longest) / 2});
                return Outcome::TooLong;
            }
            {
                const std::string adapter = Describe();
                const std::string why = " (" + ErrorText(err) + ")";
                throw PortError(
                    {"the adapter " + adapter + " refuses a transfer of messages of at most " +
                         std::to_string(longest) + " bytes" + why +
                         "; it may not take a write followed by a read in one transfer (a "
                         "repeated start), which the memory's reads need",
                     "Адаптер " + adapter + " отказывается от передачи сообщений длиной до " +
                         std::to_string(longest) + " байт" + why +
                         ". Возможно, он не умеет запись и чтение в одной передаче (повторный "
                         "старт), без которых память не прочитать."},
                    {"use another adapter; " + kHowToList.en,
                     "Используйте другой адаптер; " + kHowToList.ru + "."});
            }
        default:
            Fail("I2C_RDWR", err);
    }
}

}  // namespace lpt
