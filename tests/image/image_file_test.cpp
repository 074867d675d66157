// Memory image files: round trips in every format, partial HEX files, each refusal with its
// fault and place, and replacement of a file that never leaves a half-written one behind.
#include "image/image_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "image/atomic_file.h"

namespace lpt {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<int>;

// One record line, its checksum worked out: Intel HEX (all bytes sum to zero) or S-record
// (the ones' complement of the sum of count, address and data).
std::string Record(bool hex, int type, int address, const Bytes& data) {
    Bytes b{static_cast<int>(data.size()) + (hex ? 0 : 3), (address >> 8) & 0xFF, address & 0xFF};
    if (hex) b.push_back(type);
    b.insert(b.end(), data.begin(), data.end());
    int sum = 0;
    std::string line = hex ? ":" : "S" + std::to_string(type);
    char digits[3];
    for (int v : b) {
        sum += v;
        std::snprintf(digits, sizeof digits, "%02X", v & 0xFF);
        line += digits;
    }
    std::snprintf(digits, sizeof digits, "%02X", (hex ? -sum : ~sum) & 0xFF);
    return line + digits + "\n";
}
std::string Hex(int type, int address, const Bytes& data) {
    return Record(true, type, address, data);
}
std::string Srec(int type, int address, const Bytes& data) {
    return Record(false, type, address, data);
}
const std::string kEof = ":00000001FF\n";

std::array<std::uint8_t, MemoryImage::kSize> Pattern() {
    std::array<std::uint8_t, MemoryImage::kSize> a{};
    for (int i = 0; i < MemoryImage::kSize; ++i) a[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    return a;
}

class ImageFileTest : public ::testing::Test {
protected:
    ImageFileTest() {
        std::string tmpl = (fs::temp_directory_path() / "lpt-image-XXXXXX").string();
        dir = mkdtemp(tmpl.data());
    }
    ~ImageFileTest() override { fs::remove_all(dir); }

    std::string Put(const std::string& name, const std::string& contents) const {
        std::ofstream(dir / name, std::ios::binary) << contents;
        return (dir / name).string();
    }
    std::string Slurp(const std::string& path) const {
        std::ostringstream s;
        s << std::ifstream(path, std::ios::binary).rdbuf();
        return s.str();
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::optional<ImageFileError> Refusal(const std::function<void()>& action) {
        try {
            action();
        } catch (const ImageFileError& e) {
            return e;
        }
        return std::nullopt;
    }

    fs::path dir;
};

TEST_F(ImageFileTest, EachFormatRoundTripsAllBytesAndLeavesNoTemporaryFile) {
    MemoryImage original = MemoryImage::Full(Pattern());
    for (auto [name, format] : {std::pair{"a.bin", ImageFormat::Binary},
                                {"a.hex", ImageFormat::IntelHex},
                                {"a.srec", ImageFormat::SRecord}}) {
        SCOPED_TRACE(name);
        WriteImageFile((dir / name).string(), original, format);
        MemoryImage back = ReadImageFile((dir / name).string());
        EXPECT_EQ(back.bytes, original.bytes);
        EXPECT_TRUE(back.Complete());
    }
    EXPECT_EQ(Entries(), (std::vector<std::string>{"a.bin", "a.hex", "a.srec"}));
    EXPECT_EQ(fs::file_size(dir / "a.bin"), 2048u);
    std::string hex = Slurp((dir / "a.hex").string()), srec = Slurp((dir / "a.srec").string());
    EXPECT_EQ(hex.substr(hex.size() - kEof.size()), kEof);
    EXPECT_EQ(srec.substr(srec.rfind('\n', srec.size() - 2) + 1, 2), "S9");
}

TEST_F(ImageFileTest, PartialHexCoversExactlyItsBytes) {
    MemoryImage image = ReadImageFile(Put(
        "part.hex", Hex(0, 0x010, {0x12, 0x34, 0x56}) + "\n" + Hex(0, 0x7FE, {0xAB, 0xCD}) + kEof));
    EXPECT_EQ(image.CoveredCount(), 5);
    EXPECT_FALSE(image.Complete());
    for (int a = 0; a < MemoryImage::kSize; ++a) {
        bool given = (a >= 0x010 && a < 0x013) || a >= 0x7FE;
        ASSERT_EQ(image.covered[a], given) << a;
        if (!given) {
            ASSERT_EQ(image.bytes[a], 0xFF) << a;
        }
    }
    EXPECT_EQ(image.bytes[0x010], 0x12);
    EXPECT_EQ(image.bytes[0x012], 0x56);
    EXPECT_EQ(image.bytes[0x7FF], 0xCD);
}

TEST_F(ImageFileTest, SRecordAndBinaryOfTheSameDataGiveTheSameBytes) {
    auto data = Pattern();
    std::string srec = Srec(0, 0, {'t', 'e', 's', 't'});
    for (int a = 0; a < MemoryImage::kSize; a += 32)
        srec += Srec(1, a, Bytes(&data[a], &data[a] + 32));
    srec += Srec(9, 0, {});
    MemoryImage fromSrec = ReadImageFile(Put("same.S19", srec));
    MemoryImage fromBin = ReadImageFile(Put("same.bin", std::string(data.begin(), data.end())));
    EXPECT_EQ(fromBin.bytes, data);
    EXPECT_EQ(fromSrec.bytes, fromBin.bytes);
    EXPECT_TRUE(fromSrec.Complete() && fromBin.Complete());
}

TEST_F(ImageFileTest, RefusesBadFilesNamingFilePlaceAndReason) {
    std::string badSum = Hex(0, 0, {1, 2, 3});
    badSum[10] = '9';  // data 0x09 instead of 0x01, checksum left as it was
    std::string tooShort = ":04" + Hex(0, 0, {1, 2, 3}).substr(3);  // length 4, three bytes given
    struct Case {
        const char* name;
        std::string contents;
        ImageFault fault;
        std::string where;  // "line N" or "offset 0x..."
        std::string detail;
    } cases[] = {
        {"cut.hex", Hex(0, 0, {1, 2}) + Hex(0, 2, {3}) + "\n", ImageFault::NoEndRecord, "line 2",
         "end record"},
        {"cut.srec", Srec(1, 0, {1, 2}), ImageFault::NoEndRecord, "line 1", "end record"},
        {"far.hex", Hex(0, 0x7FF, {1}) + Hex(0, 0x800, {2}) + kEof, ImageFault::OutOfRange,
         "line 2", "0x0800"},
        {"moved.hex", Hex(4, 0, {0, 1}) + Hex(0, 0, {5}) + kEof, ImageFault::OutOfRange, "line 2",
         "0x10000"},
        {"sum.hex", badSum + kEof, ImageFault::BadChecksum, "line 1", "checksum"},
        {"text.hex", Hex(0, 0, {1}) + "hello\n" + kEof, ImageFault::Malformed, "line 2",
         "not a record"},
        {"short.hex", tooShort + kEof, ImageFault::Malformed, "line 1", "hexadecimal digit"},
        {"twice.hex", Hex(0, 5, {1}) + Hex(0, 5, {2}) + kEof, ImageFault::Overlap, "line 2",
         "0x005"},
        // Two files run together, and text after the end record: nothing after it is dropped
        // unseen.
        {"two.hex", Hex(0, 0, {1}) + kEof + Hex(0, 1, {2}) + kEof, ImageFault::Malformed,
         "line 3", "records follow the end record"},
        {"notes.hex", Hex(0, 0, {1}) + kEof + "\n \r\nnotes\n", ImageFault::Malformed, "line 5",
         "text follows the end record"},
        {"two.srec", Srec(1, 0, {1}) + Srec(9, 0, {}) + Srec(1, 1, {2}) + Srec(9, 0, {}),
         ImageFault::Malformed, "line 3", "records follow the end record"},
        {"notes.srec", Srec(1, 0, {1}) + Srec(9, 0, {}) + "\nnotes\n", ImageFault::Malformed,
         "line 4", "not a record"},
        {"short.bin", std::string(2047, '\0'), ImageFault::WrongSize, "offset 0x7FF", "2047 bytes"},
        {"long.bin", std::string(2049, '\0'), ImageFault::WrongSize, "offset 0x800", "2049 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = Put(c.name, c.contents);
        auto e = Refusal([&] { ReadImageFile(path); });
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->fault, c.fault);
        EXPECT_EQ(e->path, path);
        EXPECT_EQ(e->Kind(), ErrorKind::File);
        EXPECT_EQ(std::string(e->what()), path + ": " + c.where + ": " + e->reason);
        EXPECT_NE(e->reason.find(c.detail), std::string::npos) << e->reason;
        std::string whereRu =
            (c.where[0] == 'l' ? "строка" : "смещение") + c.where.substr(c.where.find(' '));
        EXPECT_EQ(e->Russian().rfind("Файл «" + path + "», " + whereRu + ": ", 0), 0u)
            << e->Russian();
    }
}

TEST_F(ImageFileTest, BlanksAfterTheEndRecordAreNoPartOfTheFile) {
    for (auto [name, contents] :
         {std::pair{"blank.hex", Hex(0, 3, {0x5A}) + ":00000001FF \t\r\n\r\n\n  \t"},
          {"blank.srec", Srec(1, 3, {0x5A}) + "S9030000FC\r\n  \r\n\n"}}) {
        SCOPED_TRACE(name);
        MemoryImage image = ReadImageFile(Put(name, contents));
        EXPECT_EQ(image.CoveredCount(), 1);
        EXPECT_EQ(image.bytes[3], 0x5A);
    }
}

// Opens the far end of a FIFO when the code under test is still waiting on it after two
// seconds, so that a lost guard fails the test instead of hanging it: a writer end is closed
// again at once (the reader sees the end of the file), a reader end is held to the end.
class FifoUnblocker {
public:
    FifoUnblocker(const std::string& path, int farEnd)
        : thread_([this, path, farEnd] {
              std::unique_lock lock(mutex_);
              if (done_.wait_for(lock, std::chrono::seconds(2), [this] { return released_; }))
                  return;
              fd_ = open(path.c_str(), farEnd | O_NONBLOCK | O_CLOEXEC);
              if (farEnd == O_WRONLY && fd_ >= 0) fd_ = (close(fd_), -1);
          }) {}
    ~FifoUnblocker() {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        done_.notify_one();
        thread_.join();
        if (fd_ >= 0) close(fd_);
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool released_ = false;
    int fd_ = -1;
    std::thread thread_;
};

TEST_F(ImageFileTest, OnlyRegularFilesAreReadAndNothingWaitsForAWriter) {
    std::string fifo = (dir / "pipe.hex").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::optional<ImageFileError> e;
    {
        FifoUnblocker unblocker(fifo, O_WRONLY);
        e = Refusal([&] { ReadImageFile(fifo); });
    }
    struct Case {
        std::string path;
        std::string kind;
        std::string kindRu;
    } cases[] = {{fifo, "a FIFO", "именованный канал"},
                 {"/dev/null", "a character device", "символьное устройство"},
                 {dir.string(), "a folder", "папка"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        if (c.path != fifo) e = Refusal([&] { ReadImageFile(c.path, ImageFormat::Binary); });
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->fault, ImageFault::CannotOpen);
        EXPECT_EQ(e->reason.rfind("this is " + c.kind, 0), 0u) << e->reason;
        EXPECT_NE(e->reason.find("give an image file"), std::string::npos) << e->reason;
        EXPECT_NE(e->Russian().find("это " + c.kindRu), std::string::npos) << e->Russian();
    }
}

TEST_F(ImageFileTest, RefusesMissingFileAndUnknownTypeButTakesAnExplicitFormat) {
    std::string absent = (dir / "absent.hex").string();
    auto e = Refusal([&] { ReadImageFile(absent); });
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->fault, ImageFault::CannotOpen);
    EXPECT_EQ(std::string(e->what()).rfind(absent + ": ", 0), 0u);
    EXPECT_NE(e->reason.find(std::generic_category().message(ENOENT)), std::string::npos);

    std::string txt = Put("image.txt", Hex(0, 0, {7}) + kEof);
    e = Refusal([&] { ReadImageFile(txt); });
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->fault, ImageFault::UnknownFormat);
    EXPECT_EQ(ReadImageFile(txt, ImageFormat::IntelHex).bytes[0], 7);
}

TEST(ImageFormatTest, ExtensionsAndNames) {
    EXPECT_EQ(FormatFromExtension("d/x.BIN"), ImageFormat::Binary);
    EXPECT_EQ(FormatFromExtension("x.Hex"), ImageFormat::IntelHex);
    EXPECT_EQ(FormatFromExtension("x.ihex"), ImageFormat::IntelHex);
    EXPECT_EQ(FormatFromExtension("x.srec"), ImageFormat::SRecord);
    EXPECT_EQ(FormatFromExtension("x.s19"), ImageFormat::SRecord);
    EXPECT_FALSE(FormatFromExtension("x.txt") || FormatFromExtension("hex") ||
                 FormatFromName("hex"));
    for (ImageFormat f : {ImageFormat::Binary, ImageFormat::IntelHex, ImageFormat::SRecord})
        EXPECT_EQ(FormatFromName(FormatName(f)), f);
}

// Lowers the file size limit: a write past it fails with EFBIG, as on a full disk.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
    }
    rlimit saved{};
    void (*oldHandler)(int);
};

TEST_F(ImageFileTest, FailedWritesLeaveTheOldFileAndNoTemporaryFile) {
    std::string inMissingFolder = (dir / "missing" / "x.hex").string();
    auto e = Refusal([&] {
        WriteImageFile(inMissingFolder, MemoryImage::Full(Pattern()), ImageFormat::IntelHex);
    });
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->fault, ImageFault::CannotWrite);
    EXPECT_EQ(e->path, inMissingFolder);
    EXPECT_TRUE(Entries().empty());

    std::string old = Put("old.hex", "old contents\n");
    {
        FileSizeLimit limit(1000);
        e = Refusal([&] { ReplaceFile(old, std::string(8000, 'x')); });
    }
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->fault, ImageFault::CannotWrite);
    EXPECT_EQ(Slurp(old), "old contents\n");
    EXPECT_EQ(Entries(), std::vector<std::string>{"old.hex"});

    ReplaceFile(old, "new contents\n");
    EXPECT_EQ(Slurp(old), "new contents\n");
    EXPECT_EQ(Entries(), std::vector<std::string>{"old.hex"});
}

// What a write must leave in place: links stay links, devices and FIFOs stay what they are.
bool IsLink(const fs::path& p) { return fs::is_symlink(fs::symlink_status(p)); }
bool IsFifo(const fs::path& p) { return fs::is_fifo(fs::symlink_status(p)); }

TEST_F(ImageFileTest, WritesThroughLinksAndIntoDevicesAndFifosWithoutReplacingThem) {
    const MemoryImage image = MemoryImage::Full(Pattern());
    const std::string bin(image.bytes.begin(), image.bytes.end());

    // A link to a file: the file gets the image, the link stays; a link to nothing: the file it
    // names is made.
    Put("target.bin", "old");
    fs::create_symlink("target.bin", dir / "link.bin");
    fs::create_symlink("made.hex", dir / "dangling.hex");
    WriteImageFile((dir / "link.bin").string(), image, ImageFormat::Binary);
    WriteImageFile((dir / "dangling.hex").string(), image, ImageFormat::IntelHex);
    EXPECT_TRUE(IsLink(dir / "link.bin") && IsLink(dir / "dangling.hex"));
    EXPECT_TRUE(Slurp((dir / "target.bin").string()) == bin);
    EXPECT_EQ(ReadImageFile((dir / "made.hex").string()).bytes, image.bytes);
    EXPECT_EQ(Entries(),
              (std::vector<std::string>{"dangling.hex", "link.bin", "made.hex", "target.bin"}));

    // A FIFO with a reader, directly and through a link: the bytes come out of it.
    const fs::path fifo = dir / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("pipe", dir / "pipe-link");
    for (const fs::path& to : {fifo, dir / "pipe-link"}) {
        SCOPED_TRACE(to);
        int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0);
        WriteImageFile(to.string(), image, ImageFormat::Binary);
        std::string got(4 * bin.size(), '\0');
        ssize_t n = read(reader, got.data(), got.size());
        close(reader);
        EXPECT_EQ(n, static_cast<ssize_t>(bin.size()));
        EXPECT_TRUE(got.substr(0, static_cast<size_t>(std::max<ssize_t>(n, 0))) == bin);
        EXPECT_TRUE(IsFifo(fifo));
    }
    EXPECT_TRUE(IsLink(dir / "pipe-link"));

    // Nobody reading: refused at once, not waited for.
    std::optional<ImageFileError> e;
    {
        FifoUnblocker unblocker(fifo.string(), O_RDONLY);
        e = Refusal([&] { WriteImageFile(fifo.string(), image, ImageFormat::Binary); });
    }
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->fault, ImageFault::CannotWrite);
    EXPECT_NE(e->reason.find("no process reads from the FIFO"), std::string::npos) << e->reason;
    EXPECT_TRUE(IsFifo(fifo));

    // A character device: /dev/null itself only where a rename over it would be refused anyway;
    // as root an equal device of its own, which a faulty write could replace without harm.
    std::string device = "/dev/null";
    if (geteuid() == 0) {
        device = (dir / "null").string();
        ASSERT_EQ(mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0) << errno;
    }
    WriteImageFile(device, image, ImageFormat::IntelHex);
    struct stat st {};
    ASSERT_EQ(lstat(device.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    // A folder: refused, naming it as one.
    e = Refusal([&] { WriteImageFile(dir.string(), image, ImageFormat::Binary); });
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->fault, ImageFault::CannotWrite);
    EXPECT_EQ(e->reason.rfind("this is a folder", 0), 0u) << e->reason;
    EXPECT_TRUE(fs::is_directory(dir));
}

}  // namespace
}  // namespace lpt
