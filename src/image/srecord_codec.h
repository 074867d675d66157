// File contents <-> memory image, with libsrecord parsing and producing the records.
//
// Both directions work on contents held in memory; opening, reading and replacing the file on
// the disk is the caller's business (image_file.cpp). `path` only names the file in messages.
#pragma once

#include <string>

#include "image/image_errors.h"
#include "image/image_format.h"
#include "image/memory_image.h"

namespace lpt {

// Parses the whole of `contents` as `format` and checks it against the 2 KB memory. Throws
// ImageFileError (WrongSize, OutOfRange, BadChecksum, Malformed, NoEndRecord, Overlap).
MemoryImage DecodeImage(const std::string& path, const std::string& contents, ImageFormat format);

// The file contents that hold all 2048 bytes of `image` in `format`, ending with the format's
// end record. Throws ImageFileError(CannotWrite) when the records cannot be produced.
std::string EncodeImage(const std::string& path, const MemoryImage& image, ImageFormat format);

}  // namespace lpt
