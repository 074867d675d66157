#include "image/image_format.h"

#include <cctype>
#include <filesystem>

namespace lpt {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::optional<ImageFormat> FormatFromExtension(const std::string& path) {
    std::string ext = Lower(std::filesystem::path(path).extension().string());
    if (ext == ".bin") return ImageFormat::Binary;
    if (ext == ".hex" || ext == ".ihex") return ImageFormat::IntelHex;
    if (ext == ".srec" || ext == ".s19") return ImageFormat::SRecord;
    return std::nullopt;
}

std::optional<ImageFormat> FormatFromName(const std::string& name) {
    for (ImageFormat f : {ImageFormat::Binary, ImageFormat::IntelHex, ImageFormat::SRecord})
        if (name == FormatName(f)) return f;
    return std::nullopt;
}

const char* FormatName(ImageFormat f) {
    switch (f) {
        case ImageFormat::Binary: return "bin";
        case ImageFormat::IntelHex: return "ihex";
        case ImageFormat::SRecord: return "srec";
    }
    return "?";
}

}  // namespace lpt
