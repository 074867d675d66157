#include "image/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "image/image_errors.h"
#include "image/image_messages.h"

namespace lpt {

namespace {

// A temporary file beside the target; removed again unless it was renamed over the target.
class TempFile {
public:
    // `shown` names the file in messages: the name the user gave, which may be a link to
    // `target`.
    TempFile(const std::string& target, const std::string& shown) : target_(target), shown_(shown) {
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
            if (errno != EEXIST) throw ImageFileError(shown_, CannotWrite(errno));
        }
        throw ImageFileError(shown_, CannotWrite(EEXIST));
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
            if (n < 0) throw ImageFileError(shown_, CannotWrite(errno));
            done += static_cast<size_t>(n);
        }
    }

    // Puts the contents on the disk, then moves them over the target in one step: a reader
    // of the target sees either the old file or the complete new one, even after a power cut.
    void Commit() {
        struct stat st {};
        if (stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) fchmod(fd_, st.st_mode & 07777);
        if (fsync(fd_) != 0) throw ImageFileError(shown_, CannotWrite(errno));
        int rc = close(fd_);
        fd_ = -1;
        if (rc != 0) throw ImageFileError(shown_, CannotWrite(errno));
        if (rename(name_.c_str(), target_.c_str()) != 0)
            throw ImageFileError(shown_, CannotWrite(errno));
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
    std::string shown_;
    std::string name_;
    int fd_ = -1;
    bool renamed_ = false;
};

// SIGPIPE held back while a FIFO or a socket is written: when its reader goes away, the write
// fails with EPIPE and is reported, instead of the signal ending the program.
class SigpipeHeld {
public:
    SigpipeHeld() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &saved_);
    }
    ~SigpipeHeld() {
        // Take away a SIGPIPE raised here, so that it is not delivered once unblocked.
        const timespec now{0, 0};
        if (!wasPending_)
            while (sigtimedwait(&pipe_, nullptr, &now) == SIGPIPE) {
            }
        pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
    }
    SigpipeHeld(const SigpipeHeld&) = delete;
    SigpipeHeld& operator=(const SigpipeHeld&) = delete;

private:
    sigset_t pipe_{};
    sigset_t saved_{};
    bool wasPending_ = false;
};

// Writes a device, a FIFO or a socket where it is: no temporary file, no rename (which would
// put a regular file in its place), nothing created or truncated. False when `path` turned
// out to be a regular file after all (it was replaced meanwhile).
bool WriteInPlace(const std::string& path, const std::string& contents, mode_t mode) {
    SigpipeHeld held;
    // Non-blocking open: a FIFO without a reader fails at once (ENXIO) instead of waiting
    // for one forever, and neither does a device wait for a carrier.
    int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENXIO && S_ISFIFO(mode)) throw ImageFileError(path, NoReader());
        throw ImageFileError(path, CannotWriteTo(mode, errno));
    }
    struct Closer {
        int fd;
        ~Closer() {
            if (fd >= 0) close(fd);
        }
    } closer{fd};
    struct stat st {};
    if (fstat(fd, &st) != 0) throw ImageFileError(path, CannotWriteTo(mode, errno));
    if (S_ISREG(st.st_mode)) return false;
    mode = st.st_mode;
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        throw ImageFileError(path, CannotWriteTo(mode, errno));
    for (size_t done = 0; done < contents.size();) {
        ssize_t n = write(fd, contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw ImageFileError(path, CannotWriteTo(mode, n < 0 ? errno : EIO));
        done += static_cast<size_t>(n);
    }
    closer.fd = -1;
    if (close(fd) != 0 && errno != EINTR)
        throw ImageFileError(path, CannotWriteTo(mode, errno));
    return true;
}

// Where a path that names nothing leads: itself, or, for a symbolic link pointing at nothing,
// the name it points to (through further links), which the write then creates.
std::string DanglingTarget(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path at(path);
    for (int links = 0; links < 40; ++links) {
        struct stat st {};
        if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at.string();
        std::error_code error;
        fs::path next = fs::read_symlink(at, error);
        if (error) throw ImageFileError(path, CannotFollow(error.value()));
        // A relative link is read from its own folder, as the system reads it.
        at = next.is_absolute() ? next : at.parent_path() / next;
    }
    throw ImageFileError(path, CannotFollow(ELOOP));
}

void ReplaceAtomically(const std::string& target, const std::string& shown,
                       const std::string& contents) {
    TempFile temp(target, shown);
    temp.Write(contents);
    temp.Commit();
}

}  // namespace

void ReplaceFile(const std::string& path, const std::string& contents) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) throw ImageFileError(path, CannotWrite(errno));
        ReplaceAtomically(DanglingTarget(path), path, contents);
        return;
    }
    if (S_ISDIR(st.st_mode)) throw ImageFileError(path, AFolder());
    if (!S_ISREG(st.st_mode) && WriteInPlace(path, contents, st.st_mode)) return;
    // A regular file, perhaps through links: the rename goes over the file, not the link.
    struct stat link {};
    std::string target = path;
    if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        std::error_code error;
        target = std::filesystem::canonical(path, error).string();
        if (error) throw ImageFileError(path, CannotFollow(error.value()));
    }
    ReplaceAtomically(target, path, contents);
}

}  // namespace lpt
