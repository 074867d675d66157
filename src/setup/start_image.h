// The simulated memory's start image: the file whose bytes it starts with, and into which a
// changed memory goes back.
//
// Intel HEX or S-record by the file's extension, binary for any other. Only a file that gives
// every byte of the chosen chip will do: the simulated memory has no "unwritten" state for the
// addresses a partial file leaves out.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/chips.h"
#include "image/image_file.h"
#include "image/memory_image.h"

namespace lpt::setup {

using MemoryContents = std::vector<std::uint8_t>;

struct StartImage {
    std::string path;
    ImageFormat format;     // the file's own, which a save keeps
    MemoryContents bytes;   // every byte of the memory
};

// A file that gives only part of the memory. what(): "<file>: the file gives N of the 8192 bytes
// of the 24c64", the cause; each program adds what the user can do. The 24c16, the chip the
// programs take when none is chosen, is "the memory": "... of the 2048 bytes of the memory".
class PartialStartImage : public std::runtime_error {
public:
    PartialStartImage(const std::string& path, int covered, const ChipChoice& chip = {});
};

// Reads and checks the whole file as an image of `chip`: a binary of exactly its size, a HEX or
// S-record file that gives every byte of it. Throws ImageFileError when it cannot be read, is
// damaged or reaches past the chip, PartialStartImage when it leaves bytes out.
StartImage ReadStartImage(const std::string& path, const ChipChoice& chip = {});

// Writes `bytes` into the start image's file in its format, replacing it atomically (see
// WriteImageFile). Throws ImageFileError.
void SaveStartImage(const StartImage& image, const MemoryContents& bytes);

}  // namespace lpt::setup
