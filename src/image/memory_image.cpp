#include "image/memory_image.h"

namespace lpt {

MemoryImage MemoryImage::Full(const std::array<std::uint8_t, kSize>& bytes) {
    MemoryImage image;
    image.bytes = bytes;
    image.covered.set();
    return image;
}

int MemoryImage::CoveredCount() const { return static_cast<int>(covered.count()); }

}  // namespace lpt
