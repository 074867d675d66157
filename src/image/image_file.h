// The memory image as a file: raw binary, Intel HEX or S-records.
//
// A file is read and checked whole before anything is returned, so a caller gets either an
// image it can write to the memory or an ImageFileError saying where and why the file was
// refused. Writing goes to a temporary file beside the target and replaces the target only
// once everything is on the disk; a device or a FIFO is written where it is.
#pragma once

#include <iosfwd>
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
// when given, else from the extension (UnknownFormat if neither). Only a regular file (or a link
// to one) is read: a FIFO, a device, a socket or a folder is refused before it is opened, so
// nothing waits for a writer that may never come.
MemoryImage ReadImageFile(const std::string& path, std::optional<ImageFormat> format = {});

// Writes all 2048 bytes (binary: exactly 2048 bytes; HEX/S-record: records covering 0..0x7FF
// with an end record). A regular file (or a new one) is replaced atomically: written to a
// temporary file in the same folder, flushed to the disk, then renamed over `path`; on any
// failure the temporary file is removed and `path` is untouched. A symbolic link has the file it
// points to replaced so and stays a link; a device, FIFO or socket is written where it is; a
// folder is refused (see ReplaceFile). Throws ImageFileError(CannotWrite, ...).
void WriteImageFile(const std::string& path, const MemoryImage& image, ImageFormat format);

// The same contents written to a stream (standard output), byte for byte; `name` stands for it
// in messages. Throws ImageFileError(CannotWrite, ...) when the stream fails.
void WriteImageStream(std::ostream& out, const std::string& name, const MemoryImage& image,
                      ImageFormat format);

}  // namespace lpt
