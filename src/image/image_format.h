// The three formats an image file may have, and their names on the command line and in file
// names.
#pragma once

#include <optional>
#include <string>

namespace lpt {

enum class ImageFormat { Binary, IntelHex, SRecord };

// ".bin" -> Binary, ".hex"/".ihex" -> IntelHex, ".srec"/".s19" -> SRecord (case-insensitive);
// nothing for any other extension.
std::optional<ImageFormat> FormatFromExtension(const std::string& path);
// "bin", "ihex", "srec" -> the format; nothing otherwise.
std::optional<ImageFormat> FormatFromName(const std::string& name);
const char* FormatName(ImageFormat f);  // "bin", "ihex", "srec"

}  // namespace lpt
