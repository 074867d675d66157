// How an image file is refused: what is wrong with it, and the error that names the file.
#pragma once

#include <optional>
#include <string>

#include "common/user_error.h"

namespace lpt {

enum class ImageFault {
    CannotOpen,     // the file could not be opened or read
    CannotWrite,    // the file could not be written (nothing was replaced)
    UnknownFormat,  // no format given and the extension names none
    WrongSize,      // a binary image that is not exactly the memory's size (or an empty one)
    OutOfRange,     // data for an address beyond the end of the memory
    BadChecksum,    // a record whose checksum does not match
    Malformed,      // a line that is not a valid record
    NoEndRecord,    // a HEX or S-record file that stops before its end record
    Overlap,        // one address given twice with different values
};

// What is wrong with a file, before it is said which file and where in it: the fault, its cause
// and what to do (the texts are in image_messages.cpp).
struct FileRefusal {
    ImageFault fault;
    Wording cause;
    Wording remedy;
};

// A file refused, named. English (what()), one line: "<file>: line 12: <cause>; <remedy>",
// "<file>: offset 0x800: ..." or "<file>: ...". Russian, one line as well:
// "Файл «<file>», строка 12: <причина>; <что делать>".
class ImageFileError : public UserError {
public:
    // `line` of a HEX or S-record file, or `offset` in a binary one, where the refusal points at
    // one.
    ImageFileError(std::string path, const FileRefusal& refusal, std::optional<long> line = {},
                   std::optional<long> offset = {});

    ImageFault fault;
    std::string path;
    std::optional<long> line;    // 1-based line of a HEX or S-record file
    std::optional<long> offset;  // byte offset in a binary file
    std::string reason;          // English "<cause>; <remedy>", without the file/line prefix
};

}  // namespace lpt
