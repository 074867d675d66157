#include "image/srecord_codec.h"

#include <fcntl.h>
#include <srecord/input/file.h>
#include <srecord/input/file/binary.h>
#include <srecord/input/file/intel.h>
#include <srecord/output/file.h>
#include <srecord/output/file/binary.h>
#include <srecord/output/file/intel.h>
#include <srecord/quit.h>
#include <srecord/record.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <vector>

#include "image/image_messages.h"

// Debian's libsrecord-dev has the S-record reader and writer in the library but does not ship
// their headers. Only the factories are needed; they are declared here as the headers of the
// other formats declare theirs.
namespace srecord {
class input_file_motorola : public input_file {
public:
    static pointer create(const std::string& file_name);
};
class output_file_motorola : public output_file {
public:
    static pointer create(const std::string& file_name);
};
}  // namespace srecord

namespace lpt {

namespace {

constexpr int kBlock = 16;  // data bytes per HEX or S-record line

// Contents held in memory under a name the library can open itself: a memfd, reached through
// /proc/self/fd. libsrecord opens files by name and ends the process when that fails, and its
// writer does the same on a write error; on a memfd neither happens, the library reads exactly
// the bytes that were checked here, and the disk is written by code that reports its errors.
class MemFile {
public:
    MemFile() {
        fd_ = memfd_create("lpt-image", MFD_CLOEXEC);
        if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "memfd_create");
        path_ = "/proc/self/fd/" + std::to_string(fd_);
        // Make sure the name opens before the library is given it: a reader whose own open
        // failed tries again from its destructor, where an error could not be thrown.
        int probe = open(path_.c_str(), O_RDWR | O_CLOEXEC);
        if (probe < 0) {
            int e = errno;
            close(fd_);
            throw std::system_error(e, std::generic_category(), path_);
        }
        close(probe);
    }
    ~MemFile() { close(fd_); }
    MemFile(const MemFile&) = delete;
    MemFile& operator=(const MemFile&) = delete;

    const std::string& Path() const { return path_; }

    void Fill(const std::string& data) {
        for (size_t done = 0; done < data.size();) {
            ssize_t n =
                pwrite(fd_, data.data() + done, data.size() - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                throw std::system_error(n < 0 ? errno : EIO, std::generic_category(),
                                        "memfd write");
            done += static_cast<size_t>(n);
        }
    }

    std::string Contents() const {
        struct stat st {};
        if (fstat(fd_, &st) != 0) throw std::system_error(errno, std::generic_category(), "fstat");
        std::string data(static_cast<size_t>(st.st_size), '\0');
        for (size_t done = 0; done < data.size();) {
            ssize_t n =
                pread(fd_, data.data() + done, data.size() - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                throw std::system_error(n < 0 ? errno : EIO, std::generic_category(), "memfd read");
            done += static_cast<size_t>(n);
        }
        return data;
    }

private:
    int fd_ = -1;
    std::string path_;
};

// libsrecord reports through a quit object: message_v() with the text, then exit() when the
// problem is fatal. This one keeps every text and turns exit() into an exception, so that a bad
// file unwinds back to the reader instead of ending the process.
class ThrowingQuit : public srecord::quit {
public:
    struct Stop {};

    void message_v(const char* fmt, va_list ap) override {
        va_list copy;
        va_copy(copy, ap);
        int n = std::vsnprintf(nullptr, 0, fmt, copy);
        va_end(copy);
        std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
        std::vsnprintf(text.data(), text.size() + 1, fmt, ap);
        messages.push_back(std::move(text));
    }
    [[noreturn]] void exit(int) override { throw Stop{}; }

    std::vector<std::string> messages;
};

// One library message taken apart: "<name>: <line or 0xOFFSET>: [warning: ]<text>".
struct LibMessage {
    std::optional<long> where;
    bool warning = false;
    std::string text;
};

class Decoder {
public:
    Decoder(const std::string& path, const std::string& contents, ImageFormat format,
            const ImageTarget& target)
        : path_(path), contents_(contents), format_(format), target_(target) {
        if (format_ == ImageFormat::Binary && target_.offset) offset_ = *target_.offset;
        if (offset_ < 0) throw std::invalid_argument("a binary image placed at a negative address");
    }

    MemoryImage Run() {
        if (format_ == ImageFormat::Binary) CheckBinarySize();
        mem_.Fill(Text() ? WithoutTrailingBlanks() : contents_);
        srecord::input_file::pointer in = Open();
        in->set_quit(quit_);
        MemoryImage image(target_.size);
        try {
            srecord::record rec;
            for (;;) {
                bool more = in->read(rec);
                CheckWarnings();
                if (!more) break;
                if (rec.get_type() == srecord::record::type_data) Place(image, rec, *in);
            }
        } catch (const ThrowingQuit::Stop&) {
            RefuseFatal(Parse(quit_.messages.empty() ? std::string() : quit_.messages.back()));
        }
        // The HEX reader stops at the end-of-file record without looking further; what follows
        // it (a second file appended, say) would be dropped without a word. The S-record
        // reader reads on and has warned above.
        if (format_ == ImageFormat::IntelHex) CheckNothingAfter(Where(*in).value_or(0));
        return image;
    }

private:
    srecord::input_file::pointer Open() const {
        switch (format_) {
            case ImageFormat::Binary: return srecord::input_file_binary::create(mem_.Path());
            case ImageFormat::IntelHex: return srecord::input_file_intel::create(mem_.Path());
            case ImageFormat::SRecord: return srecord::input_file_motorola::create(mem_.Path());
        }
        throw std::logic_error("unknown image format");
    }

    bool Text() const { return format_ != ImageFormat::Binary; }

    // A binary is the whole memory, or with an offset a run of at least one byte that fits from
    // there on. Refused at the file offset of the first byte too many or missing.
    void CheckBinarySize() const {
        const long size = static_cast<long>(contents_.size());
        const long room = target_.size;
        if (!target_.offset) {
            if (size != room) Refuse(std::min(size, room), WrongBinarySize(size, target_));
            return;
        }
        if (offset_ >= room)
            Refuse(0, OutOfRange(static_cast<unsigned long long>(offset_), target_));
        if (size == 0) Refuse(0, WrongBinarySize(size, target_));
        if (size > room - offset_)
            Refuse(room - offset_, OutOfRange(static_cast<unsigned long long>(room), target_));
    }

    // A location as the library gives it: a line number in a text file, an offset in a binary.
    [[noreturn]] void Refuse(std::optional<long> where, const FileRefusal& refusal) const {
        std::optional<long> line, offset;
        (Text() ? line : offset) = where;
        throw ImageFileError(path_, refusal, line, offset);
    }

    LibMessage Parse(std::string_view msg) const {
        LibMessage m;
        std::string prefix = mem_.Path() + ": ";
        if (msg.substr(0, prefix.size()) == prefix) msg.remove_prefix(prefix.size());
        size_t colon = msg.find(": ");
        if (colon != std::string_view::npos && colon > 0 && msg[0] >= '0' && msg[0] <= '9') {
            std::string number(msg.substr(0, colon));
            char* end = nullptr;
            long value = std::strtol(number.c_str(), &end, 0);
            if (*end == '\0') {
                m.where = value;
                msg.remove_prefix(colon + 2);
            }
        }
        constexpr std::string_view kWarning = "warning: ";
        if (msg.substr(0, kWarning.size()) == kWarning) {
            m.warning = true;
            msg.remove_prefix(kWarning.size());
        }
        m.text = msg;
        return m;
    }

    // The library only warns about some things this memory cannot accept: a cut-off file and
    // lines that are not records. Those warnings are refusals here; the others (no header
    // record, an empty data record) are harmless and pass.
    void CheckWarnings() {
        for (; seen_ < quit_.messages.size(); ++seen_) {
            LibMessage m = Parse(quit_.messages[seen_]);
            if (!m.warning) continue;
            if (m.text == "no end-of-file record" || m.text == "no execution start address record")
                Refuse(LastLine(), NoEndRecord());
            if (m.text == "ignoring garbage lines") Refuse(m.where, NotARecord());
            if (m.text == "termination record should be last") Refuse(m.where, RecordsAfterEnd());
        }
    }

    [[noreturn]] void RefuseFatal(const LibMessage& m) const {
        if (m.text.find("checksum") != std::string::npos) Refuse(m.where, BadChecksum());
        // The contents could not be read back from memory (see MemFile): not the file's fault.
        if (m.text.rfind("open: ", 0) == 0 || m.text.rfind("read: ", 0) == 0)
            Refuse(std::nullopt, CannotReadBack(m.text));
        // A file with no data at all is wrong as a whole, not at some line.
        if (m.text == "file contains no data") Refuse(std::nullopt, NoData());
        Refuse(m.where, Unparsed(m.text));
    }

    // Where the input stands: the line of the record just read, or the binary offset.
    std::optional<long> Where(const srecord::input& in) const {
        return Parse(in.filename_and_line() + ": ").where;
    }

    void Place(MemoryImage& image, const srecord::record& rec, const srecord::input& in) const {
        for (size_t i = 0; i < rec.get_length(); ++i) {
            const unsigned long long address = rec.get_address() +
                                               static_cast<unsigned long long>(offset_) +
                                               static_cast<unsigned long long>(i);
            const std::uint8_t value = rec.get_data()[i];
            if (address >= static_cast<unsigned long long>(target_.size))
                Refuse(Where(in), OutOfRange(address, target_));
            const int a = static_cast<int>(address);
            const auto at = static_cast<size_t>(a);
            if (image.covered[a] && image.bytes[at] != value)
                Refuse(Where(in), Overlap(address, image.bytes[at], value, target_));
            image.bytes[at] = value;
            image.covered.set(a);
        }
    }

    static bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

    // The contents without the blanks and blank lines after the last record (an editor's or
    // a copy's), which are no part of the records; the reader gets everything before as it is.
    std::string WithoutTrailingBlanks() const {
        size_t end = contents_.size();
        while (end > 0 && (Blank(contents_[end - 1]) || contents_[end - 1] == '\n')) --end;
        bool lineBreak = contents_.find('\n', end) != std::string::npos;
        return contents_.substr(0, end) + (lineBreak ? "\n" : "");
    }

    // Refuses the file when a line after `endLine` (the end record's) holds anything but
    // blanks: two files run together, or text added after the records.
    void CheckNothingAfter(long endLine) const {
        long line = 1;
        for (size_t i = 0; i < contents_.size(); ++i) {
            char c = contents_[i];
            if (c == '\n') {
                ++line;
            } else if (line > endLine && !Blank(c)) {
                Refuse(line, c == ':' ? RecordsAfterEnd() : TextAfterEnd());
            }
        }
    }

    // The number of the last line that holds anything but blanks: where a cut-off file stops.
    long LastLine() const {
        long line = 1, last = 1;
        for (char c : contents_) {
            if (c == '\n')
                ++line;
            else if (!Blank(c))
                last = line;
        }
        return last;
    }

    const std::string& path_;
    const std::string& contents_;
    ImageFormat format_;
    const ImageTarget& target_;
    long offset_ = 0;  // where the first byte of a binary goes
    MemFile mem_;
    ThrowingQuit quit_;
    size_t seen_ = 0;
};

srecord::output::pointer CreateOutput(ImageFormat format, const std::string& name) {
    switch (format) {
        case ImageFormat::Binary: return srecord::output_file_binary::create(name);
        case ImageFormat::IntelHex: return srecord::output_file_intel::create(name);
        case ImageFormat::SRecord: return srecord::output_file_motorola::create(name);
    }
    throw std::logic_error("unknown image format");
}

// The runs of addresses an image gives: {first address, length}, in address order.
std::vector<std::pair<int, int>> CoveredRuns(const MemoryImage& image) {
    std::vector<std::pair<int, int>> runs;
    for (int a = 0; a < image.Size(); ++a) {
        if (!image.covered[a]) continue;
        if (!runs.empty() && runs.back().first + runs.back().second == a)
            ++runs.back().second;
        else
            runs.push_back({a, 1});
    }
    return runs;
}

// Address bytes the S-records of an image need: 2 (S1, S9) while every address fits in 16 bits,
// 3 (S2, S8) up to 16 MB, 4 (S3, S7) beyond.
int SRecordAddressBytes(int last) {
    if (last > 0xFFFFFF) return 4;
    return last > 0xFFFF ? 3 : 2;
}

}  // namespace

MemoryImage DecodeImage(const std::string& path, const std::string& contents, ImageFormat format,
                        const ImageTarget& target) {
    try {
        return Decoder(path, contents, format, target).Run();
    } catch (const std::system_error& e) {
        throw ImageFileError(path, CannotHandOver(e.what()));
    }
}

std::string EncodeImage(const std::string& path, const MemoryImage& image, ImageFormat format) {
    const std::vector<std::pair<int, int>> runs = CoveredRuns(image);
    if (runs.empty()) throw std::invalid_argument("an image that gives no byte has no file");
    if (format == ImageFormat::Binary && runs.size() != 1)
        throw std::invalid_argument("a binary file holds one run of bytes, the image gives " +
                                    std::to_string(runs.size()));
    try {
        MemFile mem;
        {
            // The writer reports errors through the library's default quit, which ends the
            // process; on a memfd and with addresses inside the memory it has none to report.
            srecord::output::pointer out = CreateOutput(format, mem.Path());
            if (format != ImageFormat::Binary) out->preferred_block_size_set(kBlock);
            if (format == ImageFormat::SRecord) {
                const auto& [first, length] = runs.back();
                out->address_length_set(SRecordAddressBytes(first + length - 1));
                static const char kHeader[] = "lpt-eeprom";
                srecord::record header(srecord::record::type_header, 0,
                                       reinterpret_cast<const srecord::record::data_t*>(kHeader),
                                       sizeof kHeader - 1);
                out->write_header(&header);
            }
            // A binary holds its run from its first byte on; the records carry their addresses.
            // The HEX writer puts an extended linear address record (04) before the first record
            // above each 64 KB boundary, none below the first.
            for (const auto& [first, length] : runs) {
                const auto address =
                    format == ImageFormat::Binary ? 0UL : static_cast<unsigned long>(first);
                out->write_data(address, &image.bytes[static_cast<size_t>(first)],
                                static_cast<size_t>(length));
            }
            // The S-record end record carries the start address; the HEX end-of-file record
            // and the binary need nothing more (the writer adds the HEX one when it closes).
            if (format == ImageFormat::SRecord) out->write_execution_start_address();
        }  // the writer flushes and closes here
        return mem.Contents();
    } catch (const std::system_error& e) {
        throw ImageFileError(path, CannotPrepare(e.what()));
    }
}

}  // namespace lpt
