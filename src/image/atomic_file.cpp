#include "image/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "image/image_file.h"

namespace lpt {

namespace {

[[noreturn]] void CannotWrite(const std::string& path, int error) {
    std::string text = std::generic_category().message(error);
    throw ImageFileError(ImageFault::CannotWrite, path, {}, {},
                         "cannot write the file: " + text +
                             "; check that the folder exists and is writable and that the disk "
                             "has room",
                         "не удаётся записать файл: " + text +
                             "; проверьте, что папка существует и доступна для записи и что на "
                             "диске есть место");
}

// A temporary file beside the target; removed again unless it was renamed over the target.
class TempFile {
public:
    explicit TempFile(const std::string& target) : target_(target) {
        namespace fs = std::filesystem;
        static std::atomic<unsigned> counter{0};
        fs::path t(target);
        // Hidden, and short enough to stay a valid name whatever the target's length.
        std::string base =
            "." + t.filename().string().substr(0, 200) + ".tmp-" + std::to_string(getpid()) + "-";
        for (int attempt = 0; attempt < 100; ++attempt) {
            fs::path name = t.parent_path() / (base + std::to_string(counter++));
            int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                fd_ = fd;
                name_ = name.string();
                return;
            }
            if (errno != EEXIST) CannotWrite(target_, errno);
        }
        CannotWrite(target_, EEXIST);
    }
    ~TempFile() {
        if (fd_ >= 0) close(fd_);
        if (!renamed_) unlink(name_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    void Write(const std::string& data) {
        for (size_t done = 0; done < data.size();) {
            ssize_t n = write(fd_, data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) CannotWrite(target_, errno);
            done += static_cast<size_t>(n);
        }
    }

    // Puts the contents on the disk, then moves them over the target in one step: a reader
    // of the target sees either the old file or the complete new one, even after a power cut.
    void Commit() {
        struct stat st {};
        if (stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) fchmod(fd_, st.st_mode & 07777);
        if (fsync(fd_) != 0) CannotWrite(target_, errno);
        int rc = close(fd_);
        fd_ = -1;
        if (rc != 0) CannotWrite(target_, errno);
        if (rename(name_.c_str(), target_.c_str()) != 0) CannotWrite(target_, errno);
        renamed_ = true;
        // The rename reaches the disk with the folder. The new file is already in place, so
        // a failure here has nothing left to undo and is not reported.
        std::filesystem::path dir = std::filesystem::path(target_).parent_path();
        int dirFd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            fsync(dirFd);
            close(dirFd);
        }
    }

private:
    std::string target_;
    std::string name_;
    int fd_ = -1;
    bool renamed_ = false;
};

}  // namespace

void ReplaceFile(const std::string& path, const std::string& contents) {
    TempFile temp(path);
    temp.Write(contents);
    temp.Commit();
}

}  // namespace lpt
