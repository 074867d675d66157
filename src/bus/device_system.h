// The few operating-system calls the ppdev port and the kernel I2C adapter need, behind a seam
// so the tests can play the system. Every call reports its error as a return value (an errno code, 0 = success); no
// caller reads the global errno.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lpt {

class DeviceSystem {
public:
    struct OpenResult {
        int fd = -1;    // -1 on failure
        int error = 0;  // errno code of the failure, 0 on success
    };

    virtual ~DeviceSystem() = default;

    virtual OpenResult Open(const std::string& path, int flags) = 0;
    // 0 on success, else the errno code. `arg` points at the request's argument.
    virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
    virtual void Close(int fd) = 0;
    // The names in a directory without "." and ".."; empty when it is missing or unreadable.
    virtual std::vector<std::string> ListDir(const std::string& path) = 0;
    // The start of a small text file, or nothing when it cannot be read.
    virtual std::optional<std::string> ReadTextFile(const std::string& path) = 0;
    virtual bool Exists(const std::string& path) = 0;
    // Where a symbolic link points (its text, as readlink gives it), or nothing when `path` is
    // not a link or cannot be read.
    virtual std::optional<std::string> ReadLink(const std::string& path) = 0;
};

// The running Linux system: ::open, ::ioctl, ::close, opendir, ifstream.
std::shared_ptr<DeviceSystem> MakeLinuxDeviceSystem();

}  // namespace lpt
