// The memory image as a file: raw binary, Intel HEX or S-records.
//
// A file is read and checked whole before anything is returned, so a caller gets either an
// image it can write to the memory or an ImageFileError saying where and why the file was
// refused. Writing goes to a temporary file beside the target and replaces the target only
// once everything is on the disk; a device or a FIFO is written where it is.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "image/image_errors.h"
#include "image/image_format.h"
#include "image/memory_image.h"

namespace lpt {

// Reads and validates the whole file before returning, as an image of the memory `target` names
// (see DecodeImage); throws ImageFileError. Format: `format` when given, else from the extension
// (UnknownFormat if neither). Only a regular file (or a link to one) is read: a FIFO, a device, a
// socket or a folder is refused before it is opened, so nothing waits for a writer that may never
// come.
MemoryImage ReadImageFile(const std::string& path, std::optional<ImageFormat> format = {},
                          const ImageTarget& target = {});

// Writes the addresses the image gives (see EncodeImage): a whole read, all of them (binary:
// exactly the memory's size); a read of part of the memory, that part. The HEX and S-record files
// end with their end record. A regular file (or a new one) is replaced atomically: written to a
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
