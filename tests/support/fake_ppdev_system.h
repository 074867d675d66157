// The tests' one stand-in for the operating system under the ppdev port: parallel ports in /proc
// and /dev, no port at all, a port held by another driver, failing calls.
#pragma once

#include <fcntl.h>
#include <sys/ioctl.h>
#include <linux/ppdev.h>

#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bus/port.h"
#include "bus/device_system.h"

namespace lpt::testing {

inline const std::string kProc = "/proc/sys/dev/parport";

// Plays the system: ports, register contents and errors to inject. `log` records the device
// calls (open, ioctl, close); `lookups` counts the directory and file look-ups.
class FakeSystem : public DeviceSystem {
public:
    std::map<std::string, std::vector<std::string>> dirs{{kProc, {"default"}}};
    std::map<std::string, std::string> files;
    std::set<std::string> nodes;
    int openError = 0, lookups = 0;
    std::map<unsigned long, int> ioctlError;
    unsigned char data = 0xF0, control = 0x0C, status = 0;
    std::vector<std::string> log;
    // When set, the port's pins are wired to this port's (a simulated bus): data bit 0 drives SDA,
    // control bit 2 SCL, and status bit 3 reads SDA, as on the connector.
    Port* wired = nullptr;

    void AddPort(const std::string& name, const std::string& baseAddr) {
        dirs[kProc].push_back(name);
        dirs["/dev"].push_back(name);
        files[kProc + "/" + name + "/base-addr"] = baseAddr;
        nodes.insert("/dev/" + name);
    }
    OpenResult Open(const std::string& path, int flags) override {
        log.push_back("open " + path + ((flags & O_ACCMODE) == O_RDWR ? " rw" : " ro/wo"));
        return openError ? OpenResult{-1, openError} : OpenResult{7, 0};
    }
    int Ioctl(int fd, unsigned long req, void* arg) override {
        static const std::map<unsigned long, std::string> names{
            {PPEXCL, "PPEXCL"},         {PPCLAIM, "PPCLAIM"},       {PPRELEASE, "PPRELEASE"},
            {PPDATADIR, "PPDATADIR"},   {PPRDATA, "PPRDATA"},       {PPWDATA, "PPWDATA"},
            {PPRCONTROL, "PPRCONTROL"}, {PPWCONTROL, "PPWCONTROL"}, {PPRSTATUS, "PPRSTATUS"}};
        auto* byte = static_cast<unsigned char*>(arg);
        char value[8] = "";
        if (req == PPDATADIR) std::snprintf(value, sizeof value, " %d", *static_cast<int*>(arg));
        if (req == PPWDATA || req == PPWCONTROL) std::snprintf(value, sizeof value, " %02x", *byte);
        const std::string entry = names.at(req) + value;
        log.push_back(std::to_string(fd) + " " + entry);
        if (ioctlError.count(req)) return ioctlError[req];
        if (wired && (req == PPWDATA || req == PPWCONTROL)) {
            const PinRef pin = req == PPWDATA ? Wiring::kSdaOut : Wiring::kSclOut;
            if ((*byte >> pin.bit) & 1)
                wired->SetPortBit(pin.port, pin.bit);
            else
                wired->ClrPortBit(pin.port, pin.bit);
        }
        if (wired && req == PPRSTATUS) {
            const std::int32_t sda = wired->GetPortBit(Wiring::kSdaIn.port, Wiring::kSdaIn.bit);
            status = static_cast<unsigned char>((status & ~0x08) | (sda ? 0x08 : 0));
        }
        if (req == PPRDATA || req == PPRCONTROL || req == PPRSTATUS)
            *byte = req == PPRDATA ? data : req == PPRCONTROL ? control : status;
        return 0;
    }
    void Close(int fd) override { log.push_back("close " + std::to_string(fd)); }
    std::vector<std::string> ListDir(const std::string& path) override {
        ++lookups;
        return dirs[path];
    }
    std::optional<std::string> ReadTextFile(const std::string& path) override {
        ++lookups;
        return files.count(path) ? std::optional(files[path]) : std::nullopt;
    }
    bool Exists(const std::string& path) override { return ++lookups, nodes.count(path) > 0; }
    std::optional<std::string> ReadLink(const std::string&) override { return std::nullopt; }
};

}  // namespace lpt::testing
