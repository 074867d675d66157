#include "image/memory_image.h"

#include <stdexcept>
#include <string>

namespace lpt {

void Coverage::set(int address) {
    auto bit = bits_[static_cast<std::size_t>(address)];
    if (!bit) ++count_;
    bit = true;
}

void Coverage::set() {
    bits_.assign(bits_.size(), true);
    count_ = size();
}

MemoryImage::MemoryImage(int size)
    : bytes(static_cast<std::size_t>(size), 0xFF), covered(size) {}

MemoryImage MemoryImage::Full(std::vector<std::uint8_t> bytes) {
    MemoryImage image(0);
    image.covered = Coverage(static_cast<int>(bytes.size()));
    image.covered.set();
    image.bytes = std::move(bytes);
    return image;
}

MemoryImage MemoryImage::Part(int size, int first, const std::vector<std::uint8_t>& bytes) {
    const auto count = static_cast<int>(bytes.size());
    if (first < 0 || count > size - first)
        throw std::out_of_range("image part " + std::to_string(first) + "+" +
                                std::to_string(count) + " outside a memory of " +
                                std::to_string(size) + " bytes");
    MemoryImage image(size);
    for (int i = 0; i < count; ++i) {
        image.bytes[static_cast<std::size_t>(first + i)] = bytes[static_cast<std::size_t>(i)];
        image.covered.set(first + i);
    }
    return image;
}

std::optional<int> MemoryImage::FirstCovered() const {
    for (int a = 0; a < Size(); ++a)
        if (covered[a]) return a;
    return std::nullopt;
}

std::optional<int> MemoryImage::LastCovered() const {
    for (int a = Size() - 1; a >= 0; --a)
        if (covered[a]) return a;
    return std::nullopt;
}

bool MemoryImage::Contiguous() const {
    const auto first = FirstCovered();
    return first && *LastCovered() - *first + 1 == CoveredCount();
}

}  // namespace lpt
