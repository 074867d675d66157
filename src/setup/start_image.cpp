#include "setup/start_image.h"

namespace lpt::setup {

namespace {

std::string PartialText(const std::string& path, int covered, const ChipChoice& chip) {
    const Chip& part = chip.Part();
    const std::string memory =
        &part == &DefaultChip() ? "the memory" : "the " + std::string(part.name);
    return path + ": the file gives " + std::to_string(covered) + " of the " +
           std::to_string(part.size) + " bytes of " + memory;
}

}  // namespace

PartialStartImage::PartialStartImage(const std::string& path, int covered, const ChipChoice& chip)
    : std::runtime_error(PartialText(path, covered, chip)) {}

StartImage ReadStartImage(const std::string& path, const ChipChoice& chip) {
    const ImageFormat format = FormatFromExtension(path).value_or(ImageFormat::Binary);
    MemoryImage image = ReadImageFile(path, format, ImageTarget::Of(chip));
    if (!image.Complete()) throw PartialStartImage(path, image.CoveredCount(), chip);
    return StartImage{path, format, std::move(image.bytes)};
}

void SaveStartImage(const StartImage& image, const MemoryContents& bytes) {
    WriteImageFile(image.path, MemoryImage::Full(bytes), image.format);
}

}  // namespace lpt::setup
