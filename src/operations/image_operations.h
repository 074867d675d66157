// Whole-memory work for files and scripts: read the 2 KB into an image, write an image with
// proof, verify, erase. Unlike the buttons, these look at every acknowledge: a device address
// that is not acknowledged is an error naming the address, never a run of FF; a page that is not
// acknowledged, or not finished within the write-cycle limit, is an error naming the page.
//
// Each starts with the bus check. A page write is followed by acknowledge polling instead of a
// fixed pause: the next transaction's start and device address are repeated until the memory,
// out of its write cycle, acknowledges (for at most kWriteCycleLimit, 100 ms, after the stop, and
// never without a poll after that deadline), so a memory that finishes in 3 ms costs 3 ms and a
// worn one that takes 25 ms is still waited for. A whole-memory read ends only when the memory
// still acknowledges its address after the last block. Once a page has been written, an error
// says how many of the pages to write were written. Progress is reported as bytes done of the
// total through a callback.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "bus/clock.h"
#include "bus/i2c_bus.h"
#include "image/memory_image.h"
#include "operations/hex_text.h"
#include "operations/memory_bus.h"
#include "operations/operations.h"

namespace lpt {

using MemoryBytes = std::array<std::uint8_t, MemoryImage::kSize>;
// Bytes done of the total; the total can grow once a write knows how many pages differ.
using ProgressFn = std::function<void(int done, int total)>;

static_assert(k24c16.size == MemoryImage::kSize, "an image holds the whole memory");
constexpr int kPageSize = k24c16.pageSize;
constexpr int kPages = k24c16.Pages();
// How many differing addresses a report keeps for the user.
constexpr int kShownMismatches = 8;

// The difference between an image and the memory, over the addresses the image covers.
struct ImageDiff {
    int compared = 0;
    int differing = 0;
    std::vector<Mismatch> first;  // the first kShownMismatches differing bytes, in address order
    std::vector<Mismatch> all;    // every differing byte, in address order
};

struct WriteOptions {
    bool allPages = false;  // write every page, not only those that differ
    bool verify = true;     // read back every page written and compare
};

struct WriteReport {
    int pagesWritten = 0;
    int pagesSkipped = 0;  // already held what the image asks
    bool verified = false;
    ImageDiff verify;      // over the pages written, when verified
    MemoryBytes after{};   // the memory as known afterwards (read, then what was read back)
};

ImageDiff Compare(const MemoryImage& expected, const MemoryBytes& found);
// Pages in which a covered byte differs from `current`.
std::vector<int> DifferingPages(const MemoryImage& image, const MemoryBytes& current);

// Eight sequential block reads, then a check that the memory still answers. Throws BusError when
// the memory does not answer, also when it went silent during the last block.
MemoryBytes ReadMemory(I2CBus& bus, const ClockFn& clock, const ProgressFn& progress = {});

// Writes the image: reads first (skipped only for --all with a complete image), writes each
// page that differs in one page write (bytes the image does not cover keep what the memory
// holds), polls for the end of each write cycle, then reads back every page written.
WriteReport WriteImage(I2CBus& bus, const MemoryImage& image, const ClockFn& clock,
                       WriteOptions options = {}, const ProgressFn& progress = {});

// Reads the memory and compares it with the image's covered bytes.
ImageDiff VerifyImage(I2CBus& bus, const MemoryImage& image, const ClockFn& clock,
                      const ProgressFn& progress = {});

// Every byte set to `value`, by the same path as a write.
WriteReport EraseMemory(I2CBus& bus, std::uint8_t value, const ClockFn& clock,
                        WriteOptions options = {}, const ProgressFn& progress = {});

}  // namespace lpt
