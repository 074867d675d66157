// The contents of a memory as a file gives them, or as a read found them: one byte for each
// address of the memory, and which of them the file (or the read) actually said something about.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/chips.h"

namespace lpt {

// Which addresses of an image are given: a set of bits as long as the memory, counted as it is
// filled. Its calls are those of std::bitset, whose place it takes for memories of any size.
class Coverage {
public:
    explicit Coverage(int size = 0) : bits_(static_cast<std::size_t>(size)) {}

    bool operator[](int address) const { return bits_[static_cast<std::size_t>(address)]; }
    void set(int address);  // this address given
    void set();             // every address given
    int size() const { return static_cast<int>(bits_.size()); }
    int count() const { return count_; }
    bool all() const { return count_ == size(); }
    bool none() const { return count_ == 0; }

    bool operator==(const Coverage&) const = default;

private:
    std::vector<bool> bits_;
    int count_ = 0;
};

struct MemoryImage {
    // An image of a memory of `size` bytes that gives nothing yet: all FF, nothing covered.
    explicit MemoryImage(int size = k24c16.size);

    // 0xFF (erased) where the file said nothing.
    std::vector<std::uint8_t> bytes;
    Coverage covered;  // addresses the file actually gave

    // An image in which every address is given; as long as `bytes`.
    static MemoryImage Full(std::vector<std::uint8_t> bytes);
    // An image of a memory of `size` bytes that gives `bytes` from `first` on and nothing else
    // (a read of part of the memory).
    static MemoryImage Part(int size, int first, const std::vector<std::uint8_t>& bytes);

    int Size() const { return static_cast<int>(bytes.size()); }
    bool Complete() const { return covered.all(); }
    int CoveredCount() const { return covered.count(); }
    // The lowest and the highest address given; nothing when none is.
    std::optional<int> FirstCovered() const;
    std::optional<int> LastCovered() const;
    // Whether the addresses given are one run with no gap (an image that gives nothing is not).
    bool Contiguous() const;
};

// The memory a file is read for: its size and its chip's name, which the refusals name, and for
// a binary file the address its first byte goes to. Without an offset a binary must be exactly
// the memory's size; with one it may be any length from 1 byte that fits from there on. The
// records of Intel HEX and S-record files carry their own addresses and take no offset.
struct ImageTarget {
    int size = k24c16.size;
    std::string chip = DefaultChip().name;
    std::optional<int> offset;

    // The memory of `chip`.
    static ImageTarget Of(const ChipChoice& chip, std::optional<int> offset = {}) {
        return {chip.Part().size, chip.Part().name, offset};
    }
};

}  // namespace lpt
