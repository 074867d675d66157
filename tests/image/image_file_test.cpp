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
// (the ones' complement of the sum of count, address and data). An S-record's address takes the
// bytes its type gives it: 2 (S0, S1, S5, S9), 3 (S2, S6, S8) or 4 (S3, S7).
std::string Record(bool hex, int type, int address, const Bytes& data) {
    const int addressBytes = hex ? 2 : type == 2 || type == 6 || type == 8 ? 3
                                   : type == 3 || type == 7               ? 4
                                                                          : 2;
    Bytes b{static_cast<int>(data.size()) + (hex ? 0 : addressBytes + 1)};
    for (int n = addressBytes - 1; n >= 0; --n) b.push_back((address >> (8 * n)) & 0xFF);
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

// Every byte of a memory of `size` bytes (the 24c16's by default), no two runs of 256 alike.
std::vector<std::uint8_t> Pattern(int size = 2048) {
    std::vector<std::uint8_t> a(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) a[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
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
    for (int a = 0; a < image.Size(); ++a) {
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
    for (int a = 0; a < static_cast<int>(data.size()); a += 32)
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

// The memories beyond 2 KB: files of a 4 KB, a 64 KB and a 128 KB part in every format, and the
// records their addresses need (none of the extended ones up to 64 KB).
TEST_F(ImageFileTest, LargerMemoriesRoundTripWithTheRecordsTheirAddressesNeed) {
    for (const char* chip : {"24c32", "24c512", "24c1024"}) {
        SCOPED_TRACE(chip);
        const ImageTarget target = ImageTarget::Of(ChooseChip(chip));
        const MemoryImage original = MemoryImage::Full(Pattern(target.size));
        const std::string name = (dir / chip).string();
        for (auto [extension, format] : {std::pair{".bin", ImageFormat::Binary},
                                         {".hex", ImageFormat::IntelHex},
                                         {".srec", ImageFormat::SRecord}}) {
            WriteImageFile(name + extension, original, format);
            const MemoryImage back = ReadImageFile(name + extension, {}, target);
            EXPECT_EQ(back.bytes, original.bytes) << extension;
            EXPECT_TRUE(back.Complete()) << extension;
        }
        EXPECT_EQ(fs::file_size(name + ".bin"), static_cast<std::uintmax_t>(target.size));
        const bool above64k = target.size > 0x10000;
        const std::string hex = Slurp(name + ".hex"), srec = Slurp(name + ".srec");
        EXPECT_EQ(hex.find(":02000004") != std::string::npos, above64k);
        if (above64k) {
            EXPECT_NE(hex.find(":10FFF000"), std::string::npos);
            EXPECT_NE(hex.find("\n:020000040001F9\n:10000000"), std::string::npos)
                << "the 04 record comes right before the first record above 64 KB";
        }
        const size_t firstData = srec.find('\n') + 1;
        EXPECT_EQ(srec.substr(firstData, 2), above64k ? "S2" : "S1");
        EXPECT_EQ(srec.find(above64k ? "\nS1" : "\nS2"), std::string::npos);
        const size_t lastLine = srec.rfind('\n', srec.size() - 2) + 1;
        EXPECT_EQ(srec.substr(lastLine, 2), above64k ? "S8" : "S9");
    }
}

// A read of part of the memory goes into a file as that part: a binary of its bytes, read back
// at its offset; records at its addresses, across the 64 KB boundary too.
TEST_F(ImageFileTest, APartOfTheMemoryIsWrittenAtItsAddressesAndABinaryGoesBackAtItsOffset) {
    const ImageTarget chip = ImageTarget::Of(ChooseChip("24c1024"));
    std::vector<std::uint8_t> bytes(40);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(0xC0 + i);
    const MemoryImage part = MemoryImage::Part(chip.size, 0xFFF0, bytes);
    for (auto [name, format] : {std::pair{"part.bin", ImageFormat::Binary},
                                {"part.hex", ImageFormat::IntelHex},
                                {"part.srec", ImageFormat::SRecord}}) {
        SCOPED_TRACE(name);
        const std::string path = (dir / name).string();
        WriteImageFile(path, part, format);
        ImageTarget target = chip;
        if (format == ImageFormat::Binary) target.offset = 0xFFF0;
        const MemoryImage back = ReadImageFile(path, {}, target);
        EXPECT_EQ(back.CoveredCount(), 40);
        EXPECT_EQ(back.FirstCovered(), 0xFFF0);
        EXPECT_TRUE(back.Contiguous());
        EXPECT_EQ(back.bytes, part.bytes);
    }
    EXPECT_EQ(Slurp((dir / "part.bin").string()), std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(Slurp((dir / "part.hex").string()).substr(0, 25), ":10FFF000C0C1C2C3C4C5C6C7");
    // Without the offset the same binary is too short for the memory; a binary holds one run.
    auto e = Refusal([&] { ReadImageFile((dir / "part.bin").string(), {}, chip); });
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->fault, ImageFault::WrongSize);
    MemoryImage gap = part;
    gap.covered.set(0);
    EXPECT_THROW(WriteImageFile((dir / "gap.bin").string(), gap, ImageFormat::Binary),
                 std::invalid_argument);
}

TEST_F(ImageFileTest, AFileThatReachesPastTheChipIsRefusedNamingTheChipAndTheFirstAddressBeyond) {
    const std::string otherChip =
        "; choose the chip the file was made for (--chip) or a file for this one";
    Bytes sixteen(16, 0x5A);
    struct Case {
        const char* name;
        std::string contents;
        const char* chip;
        std::optional<int> offset;
        ImageFault fault;
        std::string reason;  // "<where>: <cause>; <remedy>", after the file's name
    } cases[] = {
        {"far.hex", Hex(0, 0x7E0, sixteen) + Hex(0, 0x7FE, {1, 2, 3}) + kEof, "24c16", {},
         ImageFault::OutOfRange,
         "line 2: data at 0x0800, past the end of the 24c16 (2048 bytes, 0x000-0x7FF)" +
             otherChip},
        {"far.srec", Srec(1, 0xF8, sixteen) + Srec(9, 0, {}), "24c02", {}, ImageFault::OutOfRange,
         "line 1: data at 0x0100, past the end of the 24c02 (256 bytes, 0x00-0xFF)" + otherChip},
        {"far2.srec", Srec(2, 0x1FFFF, {1, 2}) + Srec(8, 0, {}), "24c1024", {},
         ImageFault::OutOfRange,
         "line 1: data at 0x20000, past the end of the 24c1024 (131072 bytes, 0x00000-0x1FFFF)" +
             otherChip},
        {"big.bin", std::string(4097, '\0'), "24c32", {}, ImageFault::WrongSize,
         "offset 0x1000: the file is 4097 bytes long; a binary image of the 24c32 must be "
         "exactly 4096 bytes" + otherChip},
        {"tail.bin", std::string(32, '\0'), "24c64", 0x1FF0, ImageFault::OutOfRange,
         "offset 0x10: data at 0x2000, past the end of the 24c64 (8192 bytes, 0x0000-0x1FFF)" +
             otherChip},
        {"beyond.bin", std::string(1, '\0'), "24c64", 0x2000, ImageFault::OutOfRange,
         "offset 0x0: data at 0x2000, past the end of the 24c64 (8192 bytes, 0x0000-0x1FFF)" +
             otherChip},
        {"empty.bin", "", "24c64", 0x100, ImageFault::WrongSize,
         "offset 0x0: the file is 0 bytes long; a binary image placed at 0x100 must hold 1 to "
         "7936 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Put(c.name, c.contents);
        const ImageTarget target = ImageTarget::Of(ChooseChip(c.chip), c.offset);
        auto e = Refusal([&] { ReadImageFile(path, {}, target); });
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->fault, c.fault);
        EXPECT_EQ(std::string(e->what()), path + ": " + c.reason);
        EXPECT_NE(e->Russian().find(c.fault == ImageFault::OutOfRange || !c.offset
                                        ? std::string(c.chip)
                                        : "0x100"),
                  std::string::npos)
            << e->Russian();
    }
    // What fits is taken: a binary at an offset covers only its own addresses.
    const MemoryImage fits =
        ReadImageFile(Put("fits.bin", std::string(16, '\x42')), {},
                      ImageTarget::Of(ChooseChip("24c64"), 0x1FF0));
    EXPECT_EQ(fits.Size(), 8192);
    EXPECT_EQ(fits.CoveredCount(), 16);
    EXPECT_EQ(fits.FirstCovered(), 0x1FF0);
    EXPECT_EQ(fits.bytes[0x1FFF], 0x42);
    EXPECT_EQ(fits.bytes[0x1FEF], 0xFF);
}

// Every record either format has is read: HEX extended segment (02) and linear (04) addresses,
// start addresses (03, 05) read and ignored; S-record headers, data of each address width, counts
// and ends.
TEST_F(ImageFileTest, EveryRecordOfBothFormatsIsRead) {
    const ImageTarget target = ImageTarget::Of(ChooseChip("24c1024"));
    struct Case {
        const char* name;
        std::string contents;
        std::vector<std::pair<int, int>> bytes;  // {address, value}: all the file gives
    } cases[] = {
        {"all.hex",
         Hex(2, 0, {0x10, 0x00}) + Hex(0, 0x0010, {0xAA}) + Hex(4, 0, {0x00, 0x01}) +
             Hex(0, 0x0020, {0xBB}) + Hex(4, 0, {0x00, 0x00}) + Hex(0, 0x0030, {0xCC}) +
             Hex(3, 0, {0x00, 0x00, 0x01, 0x00}) + Hex(5, 0, {0x00, 0x00, 0x02, 0x00}) + kEof,
         {{0x10010, 0xAA}, {0x10020, 0xBB}, {0x30, 0xCC}}},
        {"s1s2s3.srec",
         Srec(0, 0, {'h', 'd', 'r'}) + Srec(1, 0x10, {0x11}) + Srec(2, 0x10020, {0x22}) +
             Srec(3, 0x10030, {0x33}) + Srec(5, 3, {}) + Srec(7, 0, {}),
         {{0x10, 0x11}, {0x10020, 0x22}, {0x10030, 0x33}}},
        {"s6s8.srec", Srec(2, 0x1FFFF, {0x44}) + Srec(6, 1, {}) + Srec(8, 0, {}),
         {{0x1FFFF, 0x44}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MemoryImage image = ReadImageFile(Put(c.name, c.contents), {}, target);
        EXPECT_EQ(image.CoveredCount(), static_cast<int>(c.bytes.size()));
        for (const auto& [address, value] : c.bytes) {
            EXPECT_TRUE(image.covered[address]) << address;
            EXPECT_EQ(image.bytes[static_cast<size_t>(address)], value) << address;
        }
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
