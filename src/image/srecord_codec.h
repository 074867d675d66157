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

// Parses the whole of `contents` as `format` and checks it against the memory `target` names:
// an image of that memory's size, or ImageFileError (WrongSize, OutOfRange, BadChecksum,
// Malformed, NoEndRecord, Overlap). Intel HEX: data, end, extended segment (02) and extended
// linear (04) address records; start address records (03, 05) are read and ignored. S-records:
// S0 header, S1/S2/S3 data, S5/S6 counts, S7/S8/S9 ends.
MemoryImage DecodeImage(const std::string& path, const std::string& contents, ImageFormat format,
                        const ImageTarget& target = {});

// The file contents that hold the addresses `image` gives in `format`, ending with the format's
// end record: a binary the bytes of their one run (they must be one), Intel HEX records with an
// extended linear address record (04) before the first record above each 64 KB boundary,
// S-records S1 (and S9) while every address fits in 16 bits, else S2 (S8), and S3 (S7) above
// 16 MB. Throws ImageFileError(CannotWrite) when the records cannot be produced, and
// std::invalid_argument for an image that gives nothing or a binary of more than one run.
std::string EncodeImage(const std::string& path, const MemoryImage& image, ImageFormat format);

}  // namespace lpt
