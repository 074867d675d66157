#include "bus/device_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace lpt {

namespace {

class LinuxDeviceSystem : public DeviceSystem {
public:
    OpenResult Open(const std::string& path, int flags) override {
        int fd;
        do {
            fd = ::open(path.c_str(), flags);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) return {-1, errno};
        return {fd, 0};
    }

    int Ioctl(int fd, unsigned long request, void* arg) override {
        int r;
        do {
            r = ::ioctl(fd, request, arg);
        } while (r < 0 && errno == EINTR);
        return r < 0 ? errno : 0;
    }

    void Close(int fd) override { ::close(fd); }

    std::vector<std::string> ListDir(const std::string& path) override {
        std::vector<std::string> names;
        DIR* dir = ::opendir(path.c_str());
        if (dir == nullptr) return names;
        while (const dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                names.emplace_back(entry->d_name);
            }
        }
        ::closedir(dir);
        return names;
    }

    std::optional<std::string> ReadTextFile(const std::string& path) override {
        std::ifstream in(path);
        if (!in) return std::nullopt;
        // The files read here hold a line or two; a bound keeps a surprise from costing much.
        std::string text(256, '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        if (in.bad()) return std::nullopt;
        text.resize(static_cast<std::size_t>(in.gcount()));
        return text;
    }

    bool Exists(const std::string& path) override {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0;
    }

    std::optional<std::string> ReadLink(const std::string& path) override {
        char target[4096];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        if (n < 0 || static_cast<size_t>(n) >= sizeof target) return std::nullopt;
        return std::string(target, static_cast<size_t>(n));
    }
};

}  // namespace

std::shared_ptr<DeviceSystem> MakeLinuxDeviceSystem() { return std::make_shared<LinuxDeviceSystem>(); }

}  // namespace lpt
