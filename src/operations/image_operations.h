// Memory work for files and scripts: read the memory (or part of it) into an image, write an
// image with proof, verify, erase, on the memory a MemoryBus describes. Unlike the buttons, these
// look at every acknowledge: a device address that is not acknowledged is an error naming the
// address, never a run of FF; a page that is not acknowledged, or not finished within the
// write-cycle limit, is an error naming the page.
//
// Each starts with the bus check. Reads go one sequential read per block of the memory (its
// device byte carries the block): the 24c16's eight reads of 256 bytes, the 24c512's one read of
// 64 KB. A read ends only when the memory still acknowledges the device byte of the last block
// read. A page write is followed by acknowledge polling instead of a fixed pause: the next
// transaction's start and device address are repeated until the memory, out of its write cycle,
// acknowledges (for at most the chip's write-cycle limit after the stop, 100 ms for a 5 ms part,
// and never without a poll after that deadline), so a memory that finishes in 3 ms costs 3 ms
// and a worn one that takes 25 ms is still waited for. Once a page has been written, an error
// says how many of the pages to write were written. Progress is reported as bytes done of the
// total through a callback, every 256 bytes while a read goes on and after each transaction.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "bus/clock.h"
#include "bus/i2c_bus.h"
#include "common/user_error.h"
#include "image/memory_image.h"
#include "operations/hex_text.h"
#include "operations/memory_bus.h"
#include "operations/operations.h"

namespace lpt {

// The bytes of a memory, or of the part of it that was read.
using MemoryBytes = std::vector<std::uint8_t>;
// Bytes done of the total; the total can grow once a write knows how many pages differ.
using ProgressFn = std::function<void(int done, int total)>;

// The default chip's page size and page count, for the callers that do not choose a chip.
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
    bool allPages = false;   // write every page of the memory, not only those that differ
    bool verify = true;      // read back every page written and compare
    bool readWhole = false;  // read the whole memory first, not only the pages the image touches
                             // (for a caller that shows the whole memory afterwards)
};

struct WriteReport {
    int pagesWritten = 0;
    int pagesSkipped = 0;  // already held what the image asks, or untouched by it
    bool verified = false;
    ImageDiff verify;      // over the pages written, when verified
    // The memory as known afterwards: what was read before the write (the pages the image
    // touches, or the whole memory), then what was written and read back.
    MemoryImage after;
    // When the read-back differs in a way write protection does not explain (bytes that read
    // back neither as written nor as they were): the other width of word address the memory
    // may take ("is the chip a 24c32 or larger?"), to be said after the usual causes. Empty
    // otherwise.
    Wording addressingDoubt;
};

// `found`: the memory's bytes, as long as the image.
ImageDiff Compare(const MemoryImage& expected, const MemoryBytes& found);
// Pages of `pageSize` bytes in which a covered byte differs from `current`.
std::vector<int> DifferingPages(const MemoryImage& image, const MemoryBytes& current,
                                int pageSize = kPageSize);

// The whole memory. Throws BusError when the memory does not answer, also when it went silent
// during the last block.
MemoryBytes ReadMemory(MemoryBus& memory, const ProgressFn& progress = {});

// `count` bytes from `first` on (within the memory, else std::out_of_range), split only at block
// boundaries; the errors of ReadMemory.
MemoryBytes ReadRange(MemoryBus& memory, int first, int count, const ProgressFn& progress = {});

// Writes the image, which must be as large as the memory (else std::invalid_argument): reads
// first the pages the image touches (the whole memory with readWhole or allPages; nothing for
// allPages with a complete image), then, before the first page write, checks with one random
// read that the memory takes the chip's word address (a BusError naming the likely chip, and
// nothing written, when it does not); writes each page that differs in one page write (bytes the
// image does not cover keep what the memory holds), polls for the end of each write cycle, then
// reads back every page written.
WriteReport WriteImage(MemoryBus& memory, const MemoryImage& image, WriteOptions options = {},
                       const ProgressFn& progress = {});

// Reads the span the image covers (its first covered address to its last) and compares the
// covered bytes.
ImageDiff VerifyImage(MemoryBus& memory, const MemoryImage& image,
                      const ProgressFn& progress = {});

// Every byte set to `value`, by the same path as a write.
WriteReport EraseMemory(MemoryBus& memory, std::uint8_t value, WriteOptions options = {},
                        const ProgressFn& progress = {});

}  // namespace lpt
