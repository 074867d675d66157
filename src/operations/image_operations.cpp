#include "operations/image_operations.h"

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>
#include <string>

#include "operations/bus_check.h"
#include "operations/memory_errors.h"

namespace lpt {

namespace {

// How often a long read reports its progress while the bytes come.
constexpr int kProgressStep = 256;

// Bytes done of the total, told to the caller's callback.
class Tally {
public:
    Tally(const ProgressFn& progress, int total) : progress_(progress), total_(total) {}
    void Add(int bytes) {
        done_ += bytes;
        Tell();
    }
    void SetTotal(int total) {
        total_ = total;
        Tell();
    }
    int Done() const { return done_; }

private:
    void Tell() const {
        if (progress_) progress_(done_, total_);
    }
    const ProgressFn& progress_;
    int done_ = 0;
    int total_;
};

// A read from `address` that the memory refused ends in an error naming the byte refused.
void ThrowIfRefused(MemoryBus& memory, int address, const Transfer& read) {
    const std::uint8_t device = memory.DeviceByte(address);
    const MemoryLines cable = memory.Lines();
    switch (read.refused) {
        case Transfer::Byte::None: return;
        case Transfer::Byte::DeviceAddress:
            throw NoAnswer(device, memory.Memory().WriteCycleLimit(), cable);
        case Transfer::Byte::WordAddress: throw Unacknowledged(device, kWordAddress, cable);
        default:
            throw Unacknowledged(static_cast<std::uint8_t>(device | 1), kReadAddress, cable);
    }
}

// One sequential read of `count` bytes from `address` on, into `out`, within one block. The
// device address is polled, so a memory still finishing a write is waited for; a byte the memory
// refuses ends the read with an error naming it. Every kProgressStep bytes `tally` hears of them
// while the read goes on, and of the rest after its stop. Bus at rest on entry and exit (unless
// the tally's callback throws in the middle).
void SequentialRead(MemoryBus& memory, int address, int count, std::uint8_t* out, Tally& tally) {
    const MemoryGeometry& geometry = memory.Memory();
    int told = 0;
    const Transfer read = memory.SequentialRead(
        address, count,
        [&](int i, std::uint8_t value) {
            out[i] = value;
            const int bytes = i + 1;
            if (bytes % kProgressStep == 0 && bytes < count) {
                tally.Add(bytes - told);
                told = bytes;
            }
        },
        Opening::Polling(geometry.WriteCycleLimit()), OnRefusal::StopThere);
    ThrowIfRefused(memory, address, read);
    tally.Add(count - told);
}

// `count` bytes from `first` on into `out`, one sequential read per block they reach (a read
// never runs over the end of its block: the next block has a device byte of its own, and some
// parts roll over within the block).
void ReadSpan(MemoryBus& memory, int first, int count, std::uint8_t* out, Tally& tally) {
    const int block = memory.Memory().BlockSize();
    for (int address = first; address < first + count;) {
        const int end = std::min(first + count, (address / block + 1) * block);
        SequentialRead(memory, address, end - address, out + (address - first), tally);
        address = end;
    }
}

// ReadSpan, then a check that the memory still answers: after the last read it must still
// acknowledge the device byte of the block read last (a start, the address, a stop). A memory
// that went silent inside a read is caught by the next read's device address, but after the
// last one nothing else would see it.
void ReadChecked(MemoryBus& memory, int first, int count, std::uint8_t* out, Tally& tally) {
    if (count <= 0) return;
    ReadSpan(memory, first, count, out, tally);
    const int last = first + count - 1;
    const std::uint8_t device = memory.DeviceByte(last);
    if (!memory.Probe(device))
        throw StoppedAnswering(memory.Memory(), last / memory.Memory().BlockSize(), device,
                               memory.Lines());
}

void RequireImageOf(const MemoryGeometry& memory, const MemoryImage& image) {
    if (image.Size() != memory.size)
        throw std::invalid_argument("an image of " + std::to_string(image.Size()) +
                                    " bytes for a memory of " + std::to_string(memory.size));
}

// An address of [first, end) whose byte tells a read of it from a read of somewhere else: not
// the first (a read misaddressed in the same way as the sequential read gives that one right),
// different from both neighbours (a read one byte off would not give it) and from the first
// byte, and of the value that occurs least often in the span. Nothing when no byte qualifies (a
// span of one value, say): then no read can tell.
std::optional<int> TellingAddress(const MemoryBytes& bytes, int first, int end) {
    std::array<int, 256> occurs{};
    for (int a = first; a < end; ++a) ++occurs[bytes[static_cast<size_t>(a)]];
    std::optional<int> best;
    for (int a = first + 1; a < end; ++a) {
        const std::uint8_t value = bytes[static_cast<size_t>(a)];
        if (value == bytes[static_cast<size_t>(first)] ||
            value == bytes[static_cast<size_t>(a - 1)] ||
            (a + 1 < end && value == bytes[static_cast<size_t>(a + 1)]))
            continue;
        if (!best || occurs[value] < occurs[bytes[static_cast<size_t>(*best)]]) best = a;
    }
    return best;
}

// Before the first page write: whether the memory takes this chip's word address, by reads
// alone. A memory of the other width takes the word address of the reads otherwise (a two-byte
// part waits for a second address byte, a one-byte part takes the second as data and moves on),
// so that the sequential read of [first, end) came from somewhere else; a random read of an
// address whose byte stands out then gives another byte than the sequential read gave there.
// When the contents cannot tell, the write goes on and its read-back guards it.
void CheckAddressing(MemoryBus& memory, const MemoryBytes& bytes, int first, int end) {
    const std::optional<int> address = TellingAddress(bytes, first, end);
    if (!address) return;
    const MemoryGeometry& geometry = memory.Memory();
    std::uint8_t value = 0;
    const Transfer read = memory.RandomRead(*address, value,
                                            Opening::Polling(geometry.WriteCycleLimit()),
                                            OnRefusal::StopThere);
    ThrowIfRefused(memory, *address, read);
    if (value != bytes[static_cast<size_t>(*address)]) throw WrongAddressing(geometry);
}

// Writes one page of `target` in one page write, opened by acknowledge polling unless the poll
// after the page before has already opened it; a byte the memory refuses ends the write with an
// error naming the page. `previous` is the page written before (-1: none).
void WritePage(MemoryBus& memory, const MemoryBytes& target, int page, int previous, bool open) {
    const MemoryGeometry& geometry = memory.Memory();
    const int address = page * geometry.pageSize;
    const Transfer write = memory.PageWrite(
        address, &target[static_cast<size_t>(address)], geometry.pageSize,
        open ? Opening::Opened() : Opening::Polling(geometry.WriteCycleLimit()),
        OnRefusal::StopThere);
    switch (write.refused) {
        case Transfer::Byte::None: return;
        case Transfer::Byte::DeviceAddress:
            if (previous < 0)
                throw NoAnswer(memory.DeviceByte(address), geometry.WriteCycleLimit(),
                               memory.Lines());
            throw PageUnfinished(geometry, previous);
        case Transfer::Byte::Data: throw PageRefused(geometry, page, write.dataIndex + 1);
        default: throw PageRefused(geometry, page, 0);  // the word address: byte 0 of the write
    }
}

// Runs `body`, a part of a write after at least one page went out, and rethrows a bus or port
// error with how many pages were written.
template <typename Body>
void TellingPagesDone(const WriteReport& report, int total, bool verifying, Body body) {
    try {
        body();
    } catch (const BusError& e) {
        if (report.pagesWritten == 0) throw;
        throw BusError(e, PagesDone(report.pagesWritten, total, verifying));
    } catch (const PortError& e) {
        if (report.pagesWritten == 0) throw;
        throw PortError(e, PagesDone(report.pagesWritten, total, verifying));
    }
}

// Runs of consecutive pages: {first page, page count}.
std::vector<std::pair<int, int>> Runs(const std::vector<int>& pages) {
    std::vector<std::pair<int, int>> runs;
    for (int p : pages) {
        if (!runs.empty() && runs.back().first + runs.back().second == p)
            ++runs.back().second;
        else
            runs.push_back({p, 1});
    }
    return runs;
}

}  // namespace

ImageDiff Compare(const MemoryImage& expected, const MemoryBytes& found) {
    ImageDiff diff;
    for (int a = 0; a < expected.Size(); ++a) {
        if (!expected.covered[a]) continue;
        ++diff.compared;
        const auto i = static_cast<size_t>(a);
        if (expected.bytes[i] == found[i]) continue;
        ++diff.differing;
        const Mismatch m{a, expected.bytes[i], found[i]};
        diff.all.push_back(m);
        if (static_cast<int>(diff.first.size()) < kShownMismatches) diff.first.push_back(m);
    }
    return diff;
}

std::vector<int> DifferingPages(const MemoryImage& image, const MemoryBytes& current,
                                int pageSize) {
    std::vector<int> pages;
    for (int p = 0; p < image.Size() / pageSize; ++p) {
        for (int a = p * pageSize; a < (p + 1) * pageSize; ++a) {
            const auto i = static_cast<size_t>(a);
            if (image.covered[a] && image.bytes[i] != current[i]) {
                pages.push_back(p);
                break;
            }
        }
    }
    return pages;
}

MemoryBytes ReadRange(MemoryBus& memory, int first, int count, const ProgressFn& progress) {
    const int size = memory.Memory().size;
    if (first < 0 || count < 0 || count > size - first)
        throw std::out_of_range("a read of " + std::to_string(count) + " bytes from " +
                                std::to_string(first) + " in a memory of " +
                                std::to_string(size));
    memory.CheckBus();
    MemoryBytes bytes(static_cast<size_t>(count));
    Tally tally(progress, count);
    ReadChecked(memory, first, count, bytes.data(), tally);
    return bytes;
}

MemoryBytes ReadMemory(MemoryBus& memory, const ProgressFn& progress) {
    return ReadRange(memory, 0, memory.Memory().size, progress);
}

WriteReport WriteImage(MemoryBus& memory, const MemoryImage& image, WriteOptions options,
                       const ProgressFn& progress) {
    const MemoryGeometry& geometry = memory.Memory();
    RequireImageOf(geometry, image);
    const int pageSize = geometry.pageSize;
    WriteReport report;
    report.after = MemoryImage(geometry.size);
    memory.CheckBus();
    memory.CheckWritable();
    const std::optional<int> firstCovered = image.FirstCovered();
    if (!firstCovered && !options.allPages) {
        report.pagesSkipped = geometry.Pages();
        return report;
    }

    // What to read first: the pages the image touches, the whole memory when asked for or when
    // every page is written (their bytes outside the image are kept), nothing when every page
    // is written and the image gives all of them.
    const bool readFirst = !(options.allPages && image.Complete());
    int spanFirst = 0, spanEnd = geometry.size;
    if (!options.allPages && !options.readWhole) {
        spanFirst = *firstCovered / pageSize * pageSize;
        spanEnd = (*image.LastCovered() / pageSize + 1) * pageSize;
    }
    const int span = spanEnd - spanFirst;
    const int passes = options.verify ? 2 : 1;
    // Until the read tells how many pages differ, count on all of them.
    Tally tally(progress, (readFirst ? span : 0) + passes * span);
    MemoryBytes current(static_cast<size_t>(geometry.size), 0xFF);
    if (readFirst)
        ReadChecked(memory, spanFirst, span, &current[static_cast<size_t>(spanFirst)], tally);
    std::vector<int> pages;
    if (options.allPages) {
        for (int p = 0; p < geometry.Pages(); ++p) pages.push_back(p);
    } else {
        pages = DifferingPages(image, current, pageSize);
    }
    report.pagesSkipped = geometry.Pages() - static_cast<int>(pages.size());
    tally.SetTotal(tally.Done() + static_cast<int>(pages.size()) * pageSize * passes);
    if (readFirst) {
        for (int a = spanFirst; a < spanEnd; ++a) {
            report.after.bytes[static_cast<size_t>(a)] = current[static_cast<size_t>(a)];
            report.after.covered.set(a);
        }
    }
    if (pages.empty()) return report;

    // Nothing is written to a memory that does not take this chip's word address.
    if (readFirst) CheckAddressing(memory, current, spanFirst, spanEnd);

    // What each page written must hold: the image where it speaks, the memory elsewhere.
    MemoryBytes target = current;
    for (int a = 0; a < geometry.size; ++a)
        if (image.covered[a]) target[static_cast<size_t>(a)] = image.bytes[static_cast<size_t>(a)];

    // From the first page written on, an error says how far the write got: the memory then
    // holds some pages of the image and the old contents elsewhere.
    const int toWrite = static_cast<int>(pages.size());
    TellingPagesDone(report, toWrite, false, [&] {
        bool open = false;  // a transaction whose device address the last poll had acknowledged
        for (size_t n = 0; n < pages.size(); ++n) {
            const int page = pages[n];
            WritePage(memory, target, page, n == 0 ? -1 : pages[n - 1], open);
            ++report.pagesWritten;
            tally.Add(pageSize);
            // Wait for the end of the write cycle by polling with the next page's device
            // address, and go straight on with that page's transaction once it is acknowledged.
            const int next = n + 1 < pages.size() ? pages[n + 1] * pageSize : 0;
            if (!memory.PollAcknowledge(next, geometry.WriteCycleLimit()))
                throw PageUnfinished(geometry, page);
            open = n + 1 < pages.size();
            if (!open) memory.EndOpened();
        }
    });
    MemoryBytes found = target;  // the memory as it should read now
    for (int page : pages) {
        for (int a = page * pageSize; a < (page + 1) * pageSize; ++a) {
            report.after.bytes[static_cast<size_t>(a)] = target[static_cast<size_t>(a)];
            report.after.covered.set(a);
        }
    }

    if (options.verify) {
        TellingPagesDone(report, toWrite, true, [&] {
            for (const auto& [first, count] : Runs(pages))
                ReadSpan(memory, first * pageSize, count * pageSize,
                         &found[static_cast<size_t>(first * pageSize)], tally);
        });
        MemoryImage written(geometry.size);  // the pages written, as they should read
        for (int page : pages) {
            for (int a = page * pageSize; a < (page + 1) * pageSize; ++a) {
                written.bytes[static_cast<size_t>(a)] = target[static_cast<size_t>(a)];
                written.covered.set(a);
                report.after.bytes[static_cast<size_t>(a)] = found[static_cast<size_t>(a)];
            }
        }
        report.verify = Compare(written, found);
        report.verified = true;
        // A write-protected memory reads back what it held before; a memory that takes the
        // word address otherwise reads back bytes from elsewhere.
        const auto keptItsByte = [&](const Mismatch& m) {
            return m.found == current[static_cast<size_t>(m.address)];
        };
        const bool asBefore = readFirst && std::all_of(report.verify.all.begin(),
                                                       report.verify.all.end(), keptItsByte);
        if (report.verify.differing > 0 && !asBefore)
            report.addressingDoubt = OtherAddressing(geometry);
    }
    return report;
}

ImageDiff VerifyImage(MemoryBus& memory, const MemoryImage& image, const ProgressFn& progress) {
    const MemoryGeometry& geometry = memory.Memory();
    RequireImageOf(geometry, image);
    memory.CheckBus();
    const std::optional<int> first = image.FirstCovered();
    if (!first) return {};
    const int count = *image.LastCovered() - *first + 1;
    MemoryBytes found(static_cast<size_t>(geometry.size), 0xFF);
    Tally tally(progress, count);
    ReadChecked(memory, *first, count, &found[static_cast<size_t>(*first)], tally);
    return Compare(image, found);
}

WriteReport EraseMemory(MemoryBus& memory, std::uint8_t value, WriteOptions options,
                        const ProgressFn& progress) {
    return WriteImage(
        memory, MemoryImage::Full(MemoryBytes(static_cast<size_t>(memory.Memory().size), value)),
        options, progress);
}

}  // namespace lpt
