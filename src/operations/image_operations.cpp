#include "operations/image_operations.h"

#include <algorithm>

#include "operations/bus_check.h"
#include "operations/dump_grid.h"
#include "operations/memory_errors.h"

namespace lpt {

namespace {

constexpr int kBlockSize = k24c16.BlockSize();

// One sequential read of `count` bytes from `address` on, into `out` (rolls over at the end of
// the memory). The device address is polled, so a memory still finishing a write is waited for;
// a byte the memory refuses ends the read with an error naming it. Bus at rest on entry and exit.
void SequentialRead(MemoryBus& memory, int address, int count, std::uint8_t* out) {
    const Transfer read = memory.SequentialRead(
        address, count, [out](int i, std::uint8_t value) { out[i] = value; }, Opening::Polling(),
        OnRefusal::StopThere);
    const std::uint8_t device = memory.DeviceByte(address);
    switch (read.refused) {
        case Transfer::Byte::None: return;
        case Transfer::Byte::DeviceAddress: throw NoAnswer(device);
        case Transfer::Byte::WordAddress: throw Unacknowledged(device, "word address");
        default: throw Unacknowledged(static_cast<std::uint8_t>(device | 1), "read address");
    }
}

// The whole memory, one sequential read per block, into `bytes`; `tick` after each block. After
// the last block the memory must still acknowledge its device address (a start, the address, a
// stop): a memory that went silent inside a block is caught by the next block's address, but
// after the last one nothing else would see it.
void ReadAllBlocks(MemoryBus& memory, MemoryBytes& bytes, const std::function<void()>& tick) {
    constexpr int kBlocks = k24c16.Blocks();
    for (int block = 0; block < kBlocks; ++block) {
        SequentialRead(memory, block * kBlockSize, kBlockSize, &bytes[block * kBlockSize]);
        if (tick) tick();
    }
    const int last = kBlocks - 1;
    const std::uint8_t device = memory.DeviceByte(last * kBlockSize);
    if (!memory.Probe(device)) throw StoppedAnswering(last, device);
}

// Writes one page of `target` in one page write, opened by acknowledge polling unless the poll
// after the page before has already opened it; a byte the memory refuses ends the write with an
// error naming the page. `previous` is the page written before (-1: none).
void WritePage(MemoryBus& memory, const MemoryBytes& target, int page, int previous, bool open) {
    const int address = page * kPageSize;
    const Transfer write =
        memory.PageWrite(address, &target[static_cast<size_t>(address)], kPageSize,
                         open ? Opening::Opened() : Opening::Polling(), OnRefusal::StopThere);
    switch (write.refused) {
        case Transfer::Byte::None: return;
        case Transfer::Byte::DeviceAddress:
            if (previous < 0) throw NoAnswer(memory.DeviceByte(address));
            throw PageUnfinished(previous);
        case Transfer::Byte::Data: throw PageRefused(page, write.dataIndex + 1);
        default: throw PageRefused(page, 0);  // the word address: byte 0 of the page write
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
    for (int a = 0; a < MemoryImage::kSize; ++a) {
        if (!expected.covered[static_cast<size_t>(a)]) continue;
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

std::vector<int> DifferingPages(const MemoryImage& image, const MemoryBytes& current) {
    std::vector<int> pages;
    for (int p = 0; p < kPages; ++p) {
        for (int a = p * kPageSize; a < (p + 1) * kPageSize; ++a) {
            const auto i = static_cast<size_t>(a);
            if (image.covered[i] && image.bytes[i] != current[i]) {
                pages.push_back(p);
                break;
            }
        }
    }
    return pages;
}

MemoryBytes ReadMemory(I2CBus& bus, const ClockFn& clock, const ProgressFn& progress) {
    CheckBus(bus);
    MemoryBus memory(bus, clock);
    MemoryBytes bytes{};
    int done = 0;
    ReadAllBlocks(memory, bytes, [&] {
        done += kBlockSize;
        if (progress) progress(done, MemoryImage::kSize);
    });
    return bytes;
}

WriteReport WriteImage(I2CBus& bus, const MemoryImage& image, const ClockFn& clock,
                       WriteOptions options, const ProgressFn& progress) {
    WriteReport report;
    CheckBus(bus);
    MemoryBus memory(bus, clock);
    const bool readFirst = !(options.allPages && image.Complete());
    int done = 0;
    // Until the read tells how many pages differ, count on all of them.
    int total = (readFirst ? MemoryImage::kSize : 0) +
                (options.verify ? 2 : 1) * MemoryImage::kSize;
    auto tick = [&](int bytes) {
        done += bytes;
        if (progress) progress(done, total);
    };
    MemoryBytes current{};
    current.fill(0xFF);
    if (readFirst) ReadAllBlocks(memory, current, [&] { tick(kBlockSize); });
    std::vector<int> pages;
    if (options.allPages) {
        for (int p = 0; p < kPages; ++p) pages.push_back(p);
    } else {
        pages = DifferingPages(image, current);
    }
    report.pagesSkipped = kPages - static_cast<int>(pages.size());
    total = done + static_cast<int>(pages.size()) * kPageSize * (options.verify ? 2 : 1);
    if (progress) progress(done, total);

    // What each page written must hold: the image where it speaks, the memory elsewhere.
    MemoryBytes target = current;
    for (int a = 0; a < MemoryImage::kSize; ++a) {
        const auto i = static_cast<size_t>(a);
        if (image.covered[i]) target[i] = image.bytes[i];
    }

    // From the first page written on, an error says how far the write got: the memory then
    // holds some pages of the image and the old contents elsewhere.
    const int toWrite = static_cast<int>(pages.size());
    TellingPagesDone(report, toWrite, false, [&] {
        bool open = false;  // a transaction whose device address the last poll had acknowledged
        for (size_t n = 0; n < pages.size(); ++n) {
            const int page = pages[n];
            WritePage(memory, target, page, n == 0 ? -1 : pages[n - 1], open);
            ++report.pagesWritten;
            tick(kPageSize);
            // Wait for the end of the write cycle by polling with the next page's device
            // address, and go straight on with that page's transaction once it is acknowledged.
            const int next = n + 1 < pages.size() ? pages[n + 1] * kPageSize : 0;
            if (!memory.PollAcknowledge(next)) throw PageUnfinished(page);
            open = n + 1 < pages.size();
            if (!open) bus.I2CStop();
        }
    });
    for (int page : pages) {
        for (int i = 0; i < kPageSize; ++i) {
            const auto a = static_cast<size_t>(page * kPageSize + i);
            current[a] = target[a];
        }
    }

    if (options.verify && !pages.empty()) {
        MemoryBytes found = current;
        TellingPagesDone(report, toWrite, true, [&] {
            for (const auto& [first, count] : Runs(pages)) {
                SequentialRead(memory, first * kPageSize, count * kPageSize,
                               &found[static_cast<size_t>(first * kPageSize)]);
                tick(count * kPageSize);
            }
        });
        MemoryImage written;  // the pages written, as they should read
        for (int page : pages) {
            for (int i = 0; i < kPageSize; ++i) {
                const auto a = static_cast<size_t>(page * kPageSize + i);
                written.bytes[a] = target[a];
                written.covered.set(a);
            }
        }
        report.verify = Compare(written, found);
        report.verified = true;
        current = found;
    }
    report.after = current;
    return report;
}

ImageDiff VerifyImage(I2CBus& bus, const MemoryImage& image, const ClockFn& clock,
                      const ProgressFn& progress) {
    return Compare(image, ReadMemory(bus, clock, progress));
}

WriteReport EraseMemory(I2CBus& bus, std::uint8_t value, const ClockFn& clock,
                        WriteOptions options, const ProgressFn& progress) {
    MemoryBytes bytes;
    bytes.fill(value);
    return WriteImage(bus, MemoryImage::Full(bytes), clock, options, progress);
}

}  // namespace lpt
