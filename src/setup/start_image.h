// The simulated memory's start image: the file whose bytes it starts with, and into which a
// changed memory goes back.
//
// Intel HEX or S-record by the file's extension, binary for any other. Only a file that gives
// every byte will do: the simulated memory has no "unwritten" state for the addresses a partial
// file leaves out.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "image/image_file.h"
#include "image/memory_image.h"

namespace lpt::setup {

using MemoryContents = std::array<std::uint8_t, MemoryImage::kSize>;

struct StartImage {
    std::string path;
    ImageFormat format;     // the file's own, which a save keeps
    MemoryContents bytes;   // every byte of the memory
};

// A file that gives only part of the memory. what(): "<file>: the file gives N of the 2048 bytes
// of the memory", the cause; each program adds what the user can do.
class PartialStartImage : public std::runtime_error {
public:
    PartialStartImage(const std::string& path, int covered);
};

// Reads and checks the whole file. Throws ImageFileError when it cannot be read or is damaged,
// PartialStartImage when it leaves bytes out.
StartImage ReadStartImage(const std::string& path);

// Writes `bytes` into the start image's file in its format, replacing it atomically (see
// WriteImageFile). Throws ImageFileError.
void SaveStartImage(const StartImage& image, const MemoryContents& bytes);

}  // namespace lpt::setup
