#include "image/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ostream>

#include "image/atomic_file.h"
#include "image/image_messages.h"
#include "image/srecord_codec.h"

namespace lpt {

namespace {

// Far more than any file a memory of the table could come from (a full Intel HEX image of the
// largest, 256 KB, is about 720 KB); a bigger file is refused before it is read into memory.
constexpr long kMaxFileSize = 4L << 20;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// An image comes from a regular file only: a FIFO or a device could block the open or the
// read for as long as nobody writes to it, and a stream has no size to check.
std::string ReadWholeFile(const std::string& path, const ImageTarget& target) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) throw ImageFileError(path, CannotOpen(errno));
    if (!S_ISREG(st.st_mode)) throw ImageFileError(path, NotAFile(st.st_mode));
    // Non-blocking, should the name have become a FIFO since: a regular file ignores it.
    Fd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) throw ImageFileError(path, CannotOpen(errno));
    if (fstat(fd.Get(), &st) != 0) throw ImageFileError(path, CannotOpen(errno));
    if (!S_ISREG(st.st_mode)) throw ImageFileError(path, NotAFile(st.st_mode));
    if (st.st_size > kMaxFileSize) throw ImageFileError(path, TooBig(st.st_size, target));
    std::string contents;
    char buf[8192];
    for (;;) {
        ssize_t n = read(fd.Get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw ImageFileError(path, CannotOpen(errno));
        if (n == 0) break;
        contents.append(buf, static_cast<size_t>(n));
        if (static_cast<long>(contents.size()) > kMaxFileSize)
            throw ImageFileError(path, TooBig(static_cast<long long>(contents.size()), target));
    }
    return contents;
}

}  // namespace

MemoryImage ReadImageFile(const std::string& path, std::optional<ImageFormat> format,
                          const ImageTarget& target) {
    if (!format) format = FormatFromExtension(path);
    if (!format) throw ImageFileError(path, UnknownType());
    return DecodeImage(path, ReadWholeFile(path, target), *format, target);
}

void WriteImageFile(const std::string& path, const MemoryImage& image, ImageFormat format) {
    ReplaceFile(path, EncodeImage(path, image, format));
}

void WriteImageStream(std::ostream& out, const std::string& name, const MemoryImage& image,
                      ImageFormat format) {
    const std::string contents = EncodeImage(name, image, format);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    out.flush();
    if (!out) throw ImageFileError(name, OutputFailed());
}

}  // namespace lpt
