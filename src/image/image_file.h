// The memory image as a file: raw binary, Intel HEX or S-records.
//
// A file is read and checked whole before anything is returned, so a caller gets either an
// image it can write to the memory or an ImageFileError saying where and why the file was
// refused. Writing goes to a temporary file beside the target and replaces the target only
// once everything is on the disk.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "image/memory_image.h"

namespace lpt {

enum class ImageFormat { Binary, IntelHex, SRecord };

// ".bin" -> Binary, ".hex"/".ihex" -> IntelHex, ".srec"/".s19" -> SRecord (case-insensitive);
// nothing for any other extension.
std::optional<ImageFormat> FormatFromExtension(const std::string& path);
// "bin", "ihex", "srec" -> the format; nothing otherwise.
std::optional<ImageFormat> FormatFromName(const std::string& name);
const char* FormatName(ImageFormat f);  // "bin", "ihex", "srec"

enum class ImageFault {
    CannotOpen,     // the file could not be opened or read
    CannotWrite,    // the file could not be written (nothing was replaced)
    UnknownFormat,  // no format given and the extension names none
    WrongSize,      // a binary image that is not exactly 2048 bytes
    OutOfRange,     // data for an address beyond 0x7FF
    BadChecksum,    // a record whose checksum does not match
    Malformed,      // a line that is not a valid record
    NoEndRecord,    // a HEX or S-record file that stops before its end record
    Overlap,        // one address given twice with different values
};

class ImageFileError : public std::runtime_error {
public:
    ImageFileError(ImageFault fault, std::string path, std::optional<long> line,
                   std::optional<long> offset, std::string reason, std::string reasonRu);

    // what(): one English line: "<file>: line 12: <reason>", "<file>: offset 0x800: <reason>"
    // or "<file>: <reason>".
    ImageFault fault;
    std::string path;
    std::optional<long> line;    // 1-based line of a HEX or S-record file
    std::optional<long> offset;  // byte offset in a binary file
    std::string reason;          // English reason, without the file/line prefix

    // The same in Russian for the window: file, line or offset, reason.
    std::string MessageRu() const;

private:
    std::string reasonRu_;
};

// Reads and validates the whole file before returning; throws ImageFileError. Format: `format`
// when given, else from the extension (UnknownFormat if neither).
MemoryImage ReadImageFile(const std::string& path, std::optional<ImageFormat> format = {});

// Writes all 2048 bytes (binary: exactly 2048 bytes; HEX/S-record: records covering 0..0x7FF
// with an end record). Atomic: written to a temporary file in the same folder, flushed to the
// disk, then renamed over `path`; on any failure the temporary file is removed and `path` is
// untouched. Throws ImageFileError(CannotWrite, ...).
void WriteImageFile(const std::string& path, const MemoryImage& image, ImageFormat format);

}  // namespace lpt
