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

#include "bus/ppdev_messages.h"

namespace lpt {

namespace {

constexpr const char* kProcDir = "/proc/sys/dev/parport";

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

bool InMask(unsigned char mask, int bit) { return bit >= 0 && bit < 8 && ((mask >> bit) & 1); }

unsigned char Mask(int port, int bit, int wanted) {
    return port == wanted ? static_cast<unsigned char>(1u << bit) : 0;
}

}  // namespace

PpdevPort::PpdevPort() : PpdevPort(PortChoice{}) {}

PpdevPort::PpdevPort(std::shared_ptr<DeviceSystem> sys) : PpdevPort(PortChoice{}, std::move(sys)) {}

PpdevPort::PpdevPort(PortChoice choice, std::shared_ptr<DeviceSystem> sys)
    : choice_(std::move(choice)), sys_(std::move(sys)) {}

PpdevPort::~PpdevPort() {
    if (IsOpen()) Close();
}

void PpdevPort::AllowCable(const Cable& cable) {
    dataWritable_ = controlWritable_ = 0;
    for (const LineBit& out : {cable.sdaOut, cable.sclOut}) {
        dataWritable_ |= Mask(out.port, out.bit, kDataPort);
        controlWritable_ |= Mask(out.port, out.bit, kControlPort);
    }
    for (const PowerBit& p : cable.power) {
        dataWritable_ |= Mask(p.port, p.bit, kDataPort);
        controlWritable_ |= Mask(p.port, p.bit, kControlPort);
    }
    statusReadable_ = 0xF8;
}

LineTiming PpdevPort::Timing() const { return LineTiming::StandardMode(); }

void PpdevPort::SetPortBit(int port, int bit) { WriteBit(port, bit, true); }

void PpdevPort::ClrPortBit(int port, int bit) { WriteBit(port, bit, false); }

void PpdevPort::WriteBit(int port, int bit, bool one) {
    const bool data = port == kDataPort && InMask(dataWritable_, bit);
    if (!data && !(port == kControlPort && InMask(controlWritable_, bit)))
        throw PinRefused(port, bit, true);
    EnsureOpen();
    unsigned char& shadow = data ? data_ : control_;
    const auto mask = static_cast<unsigned char>(1u << bit);
    unsigned char value = one ? (shadow | mask) : (shadow & ~mask);
    if (value == shadow) return;  // the register holds it already: the bit is as asked
    Call(data ? PPWDATA : PPWCONTROL, data ? "PPWDATA" : "PPWCONTROL", &value);
    shadow = value;  // only once the register really holds it
}

std::int32_t PpdevPort::GetPortBit(int port, int bit) {
    if (port != kStatusPort || !InMask(statusReadable_, bit)) throw PinRefused(port, bit, false);
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
        std::vector<FoundPort> ports;
        for (const auto& name : sys_->ListDir(kProcDir)) {
            const auto number = PortNumber(name);
            if (!number) continue;
            const auto text =
                sys_->ReadTextFile(std::string(kProcDir) + "/" + name + "/base-addr");
            ports.push_back({*number, name, text ? ParseBase(*text) : std::nullopt});
        }
        std::sort(ports.begin(), ports.end(),
                  [](const FoundPort& a, const FoundPort& b) { return a.number < b.number; });
        return ports;
    };
    const auto devPorts = [&] {
        std::vector<FoundPort> ports;
        for (const auto& name : sys_->ListDir("/dev")) {
            if (const auto number = PortNumber(name)) ports.push_back({*number, name, {}});
        }
        std::sort(ports.begin(), ports.end(),
                  [](const FoundPort& a, const FoundPort& b) { return a.number < b.number; });
        return ports;
    };

    if (choice_.kind == PortChoice::Kind::Device) {
        if (sys_->Exists(choice_.device)) return choice_.device;
        const std::string name = choice_.device.substr(choice_.device.rfind('/') + 1);
        auto ports = procPorts();
        for (const auto& p : ports) {
            if (p.name == name) throw NoDeviceNode(p.name, p.base, choice_.device);
        }
        if (ports.empty()) ports = devPorts();
        if (ports.empty()) throw NoPorts(ListAdapters(*sys_));
        throw PortNotFound(choice_, ports, ListAdapters(*sys_));
    }

    const auto ports = procPorts();
    if (ports.empty()) {
        std::vector<std::string> devices;
        for (const auto& p : devPorts()) devices.push_back("/dev/" + p.name);
        if (devices.empty()) throw NoPorts(ListAdapters(*sys_));
        throw NoAddresses(choice_, devices);
    }
    for (const auto& p : ports) {
        if (p.base == choice_.base) {
            std::string path = "/dev/" + p.name;
            if (!sys_->Exists(path)) throw NoDeviceNode(p.name, p.base, path);
            return path;
        }
    }
    throw PortNotFound(choice_, ports, ListAdapters(*sys_));
}

void PpdevPort::OpenDevice(const std::string& path) {
    const auto opened = sys_->Open(path, O_RDWR | O_CLOEXEC);
    if (opened.fd < 0) {
        switch (opened.error) {
            case EACCES:
            case EPERM:
                throw AccessDenied(path, opened.error);
            case ENOENT:
                throw NoDeviceNode(path.substr(path.rfind('/') + 1), std::nullopt, path);
            case EBUSY:
                throw PortBusy(path, "open", opened.error);
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
        if (int err = sys_->Ioctl(fd_, PPEXCL, nullptr)) throw PortBusy(path, "PPEXCL", err);
        if (int err = sys_->Ioctl(fd_, PPCLAIM, nullptr)) throw PortBusy(path, "PPCLAIM", err);
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
