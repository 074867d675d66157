#include "image/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "image/atomic_file.h"
#include "image/srecord_codec.h"

namespace lpt {

namespace {

// Far more than any file this 2 KB memory could come from (a full Intel HEX image is about
// 6 KB); a bigger file is refused before it is read into memory.
constexpr long kMaxFileSize = 4L << 20;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string SystemText(int error) { return std::generic_category().message(error); }

std::string Location(std::optional<long> line, std::optional<long> offset, bool russian) {
    char buf[64] = "";
    if (line)
        std::snprintf(buf, sizeof buf, russian ? ", строка %ld" : "line %ld: ", *line);
    else if (offset)
        std::snprintf(buf, sizeof buf, russian ? ", смещение 0x%lX" : "offset 0x%lX: ", *offset);
    return buf;
}

[[noreturn]] void CannotOpen(const std::string& path, int error) {
    throw ImageFileError(
        ImageFault::CannotOpen, path, {}, {},
        "cannot open the file: " + SystemText(error) + "; check its name and access rights",
        "не удаётся открыть файл: " + SystemText(error) + "; проверьте имя файла и права доступа");
}

[[noreturn]] void TooBig(const std::string& path, long long size) {
    std::string n = std::to_string(size);
    throw ImageFileError(ImageFault::WrongSize, path, {}, {},
                         "the file is " + n +
                             " bytes long, far more than any image of this 2 KB memory; "
                             "choose the image file",
                         "длина файла " + n +
                             " байт, это намного больше любого образа этой памяти на 2 КБ; "
                             "выберите файл образа");
}

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
[[noreturn]] void NotAFile(const std::string& path, mode_t mode) {
    FileKind kind = KindOfFile(mode);
    throw ImageFileError(ImageFault::CannotOpen, path, {}, {},
                         std::string("this is ") + kind.en +
                             ", not a regular file; give an image file (save the image into a "
                             "file first)",
                         std::string("это ") + kind.ru +
                             ", а не обычный файл; укажите файл образа (сначала сохраните образ "
                             "в файл)");
}

std::string ReadWholeFile(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) CannotOpen(path, errno);
    if (!S_ISREG(st.st_mode)) NotAFile(path, st.st_mode);
    // Non-blocking, should the name have become a FIFO since: a regular file ignores it.
    Fd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) CannotOpen(path, errno);
    if (fstat(fd.Get(), &st) != 0) CannotOpen(path, errno);
    if (!S_ISREG(st.st_mode)) NotAFile(path, st.st_mode);
    if (st.st_size > kMaxFileSize) TooBig(path, st.st_size);
    std::string contents;
    char buf[8192];
    for (;;) {
        ssize_t n = read(fd.Get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) CannotOpen(path, errno);
        if (n == 0) break;
        contents.append(buf, static_cast<size_t>(n));
        if (static_cast<long>(contents.size()) > kMaxFileSize)
            TooBig(path, static_cast<long long>(contents.size()));
    }
    return contents;
}

}  // namespace

std::optional<ImageFormat> FormatFromExtension(const std::string& path) {
    std::string ext = Lower(std::filesystem::path(path).extension().string());
    if (ext == ".bin") return ImageFormat::Binary;
    if (ext == ".hex" || ext == ".ihex") return ImageFormat::IntelHex;
    if (ext == ".srec" || ext == ".s19") return ImageFormat::SRecord;
    return std::nullopt;
}

std::optional<ImageFormat> FormatFromName(const std::string& name) {
    for (ImageFormat f : {ImageFormat::Binary, ImageFormat::IntelHex, ImageFormat::SRecord})
        if (name == FormatName(f)) return f;
    return std::nullopt;
}

const char* FormatName(ImageFormat f) {
    switch (f) {
        case ImageFormat::Binary: return "bin";
        case ImageFormat::IntelHex: return "ihex";
        case ImageFormat::SRecord: return "srec";
    }
    return "?";
}

ImageFileError::ImageFileError(ImageFault fault, std::string path, std::optional<long> line,
                               std::optional<long> offset, std::string reason, std::string reasonRu)
    : std::runtime_error(path + ": " + Location(line, offset, false) + reason),
      fault(fault),
      path(std::move(path)),
      line(line),
      offset(offset),
      reason(std::move(reason)),
      reasonRu_(std::move(reasonRu)) {}

std::string ImageFileError::MessageRu() const {
    return "Файл «" + path + "»" + Location(line, offset, true) + ": " + reasonRu_;
}

MemoryImage ReadImageFile(const std::string& path, std::optional<ImageFormat> format) {
    if (!format) format = FormatFromExtension(path);
    if (!format)
        throw ImageFileError(ImageFault::UnknownFormat, path, {}, {},
                             "unknown file type; name the file .bin, .hex or .srec, or choose "
                             "the format",
                             "неизвестный тип файла; дайте файлу расширение .bin, .hex или "
                             ".srec или укажите формат");
    return DecodeImage(path, ReadWholeFile(path), *format);
}

void WriteImageFile(const std::string& path, const MemoryImage& image, ImageFormat format) {
    ReplaceFile(path, EncodeImage(path, image, format));
}

void WriteImageStream(std::ostream& out, const std::string& name, const MemoryImage& image,
                      ImageFormat format) {
    const std::string contents = EncodeImage(name, image, format);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    out.flush();
    if (!out)
        throw ImageFileError(ImageFault::CannotWrite, name, {}, {},
                             "cannot write the image; check where the output goes (a full disk, "
                             "a closed pipe)",
                             "не удаётся записать образ; проверьте, куда идёт вывод (диск "
                             "заполнен, канал закрыт)");
}

}  // namespace lpt
