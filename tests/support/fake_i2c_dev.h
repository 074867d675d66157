// The tests' stand-in for the kernel under a kernel I2C adapter (i2c-dev): adapters in sysfs and
// /dev, their functionality, addresses held by drivers, and behind one of them a simulated bus
// with the simulated memory on it, driven at the line level the way the kernel's bit-banging
// algorithm drives its lines: a start (a repeated start between messages), the address byte,
// the bytes, every byte read acknowledged but the last of its message, which gets a
// no-acknowledge, and a stop on every way out. An address byte left unacknowledged ends the
// transfer with ENXIO, a data byte with EREMOTEIO. Each transfer moves the virtual clock on by
// its time on a 100 kHz bus, so the memory's write cycles end as the polls go on.
//
// Also: a per-message length limit (EOPNOTSUPP, as an adapter with a short buffer), the adapter
// unplugged after some transfers (ENODEV, and gone from /dev and sysfs), and an errno for the
// next transfers, with nothing sent.
#pragma once

#include <fcntl.h>
#include <linux/i2c.h>
#include <linux/i2c-dev.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "bus/device_system.h"
#include "bus/i2c_bus.h"
#include "support/sim_bus.h"

namespace lpt::testing {

struct FakeAdapter {
    int number;
    std::string name;
    unsigned long functions = I2C_FUNC_I2C | I2C_FUNC_SMBUS_EMUL;
    // Addresses (7-bit) a driver is bound to, with its name ("" when the link cannot be read).
    std::map<std::uint8_t, std::string> held{};
};

class FakeI2cDev : public DeviceSystem {
public:
    // The simulated memory: `chip`, its bytes from `fill` (erased without one). `present`: it
    // is on the bus.
    explicit FakeI2cDev(const ChipChoice& chip = {}, const SimBus::Fill& fill = {},
                        bool present = true)
        : sim(present, fill, TimeNs{0}, chip) {
        sim.port.SetRecording(false);  // the messages are the record here
    }

    std::vector<FakeAdapter> adapters{{7, "MCP2221 usb-i2c bridge"}};
    int busAdapter = 7;        // whose bus the simulated memory hangs on
    bool classDir = true;      // /sys/class/i2c-adapter lists them (else /sys/bus/i2c/devices)
    bool deviceNodes = true;   // i2c-dev is loaded: /dev/i2c-N exist
    int openError = 0;         // errno of every open
    int funcsError = 0;        // errno of I2C_FUNCS
    int messageLimit = 0;      // longer messages are refused with limitError (0: none)
    int limitError = EOPNOTSUPP;
    long unplugAfter = -1;     // transfers that go through before the adapter goes away (<0: never)
    std::deque<int> failNext;  // errno of the next transfers, in turn; nothing is sent
    // The device calls: "open /dev/i2c-7", "I2C_FUNCS", "I2C_SLAVE 50", "close".
    std::vector<std::string> calls;
    // One entry per I2C_RDWR, its messages joined by " | " ("50 w 00 10 | 50 r 16"; a read
    // gives its length in decimal), and " -> ENXIO" when it failed.
    std::vector<std::string> transfers;

    SimBus sim;
    // The lines at the port's zero timing: the bus time is counted per transfer instead.
    I2CBus bus{sim.port, [] { return TimeNs{0}; }};

    // Every message of every transfer, one a line ("50 w 00 10", "50 r 16").
    std::vector<std::string> Messages() const {
        std::vector<std::string> lines;
        for (std::string t : transfers) {
            t = t.substr(0, t.find(" -> "));
            for (size_t at = 0;;) {
                const size_t bar = t.find(" | ", at);
                lines.push_back(t.substr(at, bar - at));
                if (bar == std::string::npos) break;
                at = bar + 3;
            }
        }
        return lines;
    }
    bool Unplugged() const { return unplugged_; }

    OpenResult Open(const std::string& path, int flags) override {
        calls.push_back("open " + path + ((flags & O_ACCMODE) == O_RDWR ? "" : " not rw"));
        const FakeAdapter* adapter = Find(path, "/dev/i2c-");
        if (!adapter || !deviceNodes) return {-1, ENOENT};
        if (openError) return {-1, openError};
        fds_[nextFd_] = adapter->number;
        return {nextFd_++, 0};
    }

    int Ioctl(int fd, unsigned long request, void* arg) override {
        const auto open = fds_.find(fd);
        if (open == fds_.end()) return EBADF;
        const FakeAdapter* adapter = Find("i2c-" + std::to_string(open->second), "i2c-");
        switch (request) {
            case I2C_FUNCS:
                calls.push_back("I2C_FUNCS");
                if (!adapter) return ENODEV;
                if (funcsError) return funcsError;
                *static_cast<unsigned long*>(arg) = adapter->functions;
                return 0;
            case I2C_SLAVE: {
                // The address is the argument itself, not a pointer to it.
                const auto address =
                    static_cast<std::uint8_t>(reinterpret_cast<std::uintptr_t>(arg));
                calls.push_back("I2C_SLAVE " + Hex(address));
                if (!adapter) return ENODEV;
                return adapter->held.count(address) ? EBUSY : 0;
            }
            case I2C_RDWR:
                return RdWr(adapter, *static_cast<i2c_rdwr_ioctl_data*>(arg));
            default:
                calls.push_back("ioctl " + std::to_string(request));
                return ENOTTY;  // I2C_SLAVE_FORCE among them: the tool never asks for it
        }
    }

    void Close(int fd) override {
        calls.push_back("close");
        fds_.erase(fd);
    }

    std::vector<std::string> ListDir(const std::string& path) override {
        std::vector<std::string> names;
        const bool devices = path == "/sys/bus/i2c/devices";
        if (!(path == "/sys/class/i2c-adapter" && classDir) && !devices) return names;
        for (const FakeAdapter& a : adapters) {
            names.push_back("i2c-" + std::to_string(a.number));
            if (!devices) continue;
            for (const auto& [address, driver] : a.held)
                names.push_back(std::to_string(a.number) + "-00" + Hex(address, "%02x"));
        }
        return names;
    }

    std::optional<std::string> ReadTextFile(const std::string& path) override {
        for (const FakeAdapter& a : adapters) {
            const std::string dir = "/i2c-" + std::to_string(a.number) + "/name";
            if ((classDir && path == "/sys/class/i2c-adapter" + dir) ||
                path == "/sys/bus/i2c/devices" + dir)
                return a.name + "\n";
        }
        return std::nullopt;
    }

    bool Exists(const std::string& path) override {
        return deviceNodes && Find(path, "/dev/i2c-") != nullptr;
    }

    std::optional<std::string> ReadLink(const std::string& path) override {
        for (const FakeAdapter& a : adapters) {
            for (const auto& [address, driver] : a.held) {
                const std::string client = std::to_string(a.number) + "-00" + Hex(address, "%02x");
                if (path == "/sys/bus/i2c/devices/" + client + "/driver" && !driver.empty())
                    return "../../../../bus/i2c/drivers/" + driver;
            }
        }
        return std::nullopt;
    }

private:
    static std::string Hex(unsigned value, const char* format = "%02X") {
        char text[8];
        std::snprintf(text, sizeof text, format, value);
        return text;
    }
    static std::string ErrnoName(int err) {
        switch (err) {
            case ENXIO: return "ENXIO";
            case EREMOTEIO: return "EREMOTEIO";
            case ENODEV: return "ENODEV";
            case EOPNOTSUPP: return "EOPNOTSUPP";
            case EINVAL: return "EINVAL";
            case EIO: return "EIO";
            case ETIMEDOUT: return "ETIMEDOUT";
            case EAGAIN: return "EAGAIN";
            case ESHUTDOWN: return "ESHUTDOWN";
            default: return "errno " + std::to_string(err);
        }
    }

    // The adapter `text` names after `prefix` ("/dev/i2c-" + "7"), while it is plugged in.
    const FakeAdapter* Find(const std::string& text, const std::string& prefix) const {
        if (text.rfind(prefix, 0) != 0) return nullptr;
        for (const FakeAdapter& a : adapters)
            if (text == prefix + std::to_string(a.number)) return &a;
        return nullptr;
    }

    int RdWr(const FakeAdapter* adapter, i2c_rdwr_ioctl_data& request) {
        std::string text;
        bool invalid = false, overLimit = false;
        for (__u32 i = 0; i < request.nmsgs; ++i) {
            const i2c_msg& m = request.msgs[i];
            const bool read = (m.flags & I2C_M_RD) != 0;
            text += (i ? " | " : "") + Hex(m.addr) + (read ? " r " + std::to_string(m.len) : " w");
            if (!read)
                for (int b = 0; b < m.len; ++b) text += " " + Hex(m.buf[b]);
            // i2c-dev's own checks, then the adapter's limit.
            if (m.len > kMaxMessage || (m.flags & ~I2C_M_RD) != 0 || m.addr > 0x7F) invalid = true;
            if (messageLimit > 0 && m.len > messageLimit) overLimit = true;
        }
        const auto fail = [&](int err) {
            transfers.push_back(text + " -> " + ErrnoName(err));
            return err;
        };
        if (invalid || request.nmsgs == 0 || request.nmsgs > I2C_RDWR_IOCTL_MAX_MSGS)
            return fail(EINVAL);
        if (!adapter) return fail(ENODEV);
        if (!failNext.empty()) {
            const int err = failNext.front();
            failNext.pop_front();
            return fail(err);
        }
        if (overLimit) return fail(limitError);
        if (unplugAfter == 0) {
            unplugged_ = true;
            adapters.erase(adapters.begin() + (adapter - adapters.data()));
            return fail(ENODEV);
        }
        if (unplugAfter > 0) --unplugAfter;
        const int err = adapter->number == busAdapter ? OnTheBus(request) : ENXIO;
        return err ? fail(err) : (transfers.push_back(text), 0);
    }

    // The transfer on the simulated lines; the errno it ends with. The clock moves on as the
    // bits go out, so the write cycle that the stop starts is counted from the stop.
    int OnTheBus(i2c_rdwr_ioctl_data& request) {
        const auto clocks = [this](int n) { sim.clock.Advance(std::chrono::microseconds(10) * n); };
        int err = 0;
        for (__u32 i = 0; i < request.nmsgs && !err; ++i) {
            i2c_msg& m = request.msgs[i];
            const bool read = (m.flags & I2C_M_RD) != 0;
            bus.I2CStart();  // a repeated start after the first message
            bus.WriteByte(static_cast<std::uint8_t>(m.addr << 1 | (read ? 1 : 0)));
            clocks(10);
            if (bus.Ack == 0) {
                err = ENXIO;
                break;
            }
            for (int b = 0; b < m.len && !err; ++b) {
                if (read) {
                    const bool last = b + 1 == m.len;
                    bus.Ack = last ? 0 : 1;
                    m.buf[b] = bus.ReadByte();
                    if (last) bus.WriteBit(kTrue);  // the no-acknowledge of the last byte
                } else {
                    bus.WriteByte(m.buf[b]);
                    if (bus.Ack == 0) err = EREMOTEIO;
                }
                clocks(9);
            }
        }
        bus.I2CStop();
        clocks(1);
        return err;
    }

    static constexpr int kMaxMessage = 8192;  // i2c-dev's own limit
    std::map<int, int> fds_;  // open file -> adapter number
    int nextFd_ = 3;
    bool unplugged_ = false;
};

}  // namespace lpt::testing
