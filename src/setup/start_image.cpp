#include "setup/start_image.h"

namespace lpt::setup {

PartialStartImage::PartialStartImage(const std::string& path, int covered)
    : std::runtime_error(path + ": the file gives " + std::to_string(covered) + " of the " +
                         std::to_string(MemoryImage::kSize) + " bytes of the memory") {}

StartImage ReadStartImage(const std::string& path) {
    const ImageFormat format = FormatFromExtension(path).value_or(ImageFormat::Binary);
    const MemoryImage image = ReadImageFile(path, format);
    if (!image.Complete()) throw PartialStartImage(path, image.CoveredCount());
    return StartImage{path, format, image.bytes};
}

void SaveStartImage(const StartImage& image, const MemoryContents& bytes) {
    WriteImageFile(image.path, MemoryImage::Full(bytes), image.format);
}

}  // namespace lpt::setup
