// What the image files tell the user when one is refused: each refusal's cause and remedy in
// both languages (see common/user_error.h), made into an error with the file's name and the
// place in it by ImageFileError.
#pragma once

#include <sys/types.h>

#include <string>

#include "image/image_errors.h"
#include "image/memory_image.h"

namespace lpt {

// Reading a file: `error` is the errno code of the failure, `mode` the kind of file st_mode gives.
FileRefusal CannotOpen(int error);
FileRefusal NotAFile(mode_t mode);  // a FIFO, a device, a socket or a folder
FileRefusal TooBig(long long size, const ImageTarget& target);
FileRefusal UnknownType();  // no format given, and the extension names none

// Writing a file or a stream.
FileRefusal CannotWrite(int error);
FileRefusal CannotWriteTo(mode_t mode, int error);  // a device, a FIFO or a socket, in place
FileRefusal NoReader();                             // a FIFO nobody reads from
FileRefusal AFolder();
FileRefusal CannotFollow(int error);  // a symbolic link
FileRefusal OutputFailed();           // the stream (standard output) failed

// The contents: a binary of another size than the memory's (or an empty one placed at an
// offset), a text file cut off before its end record, a damaged record, data outside the memory
// or given twice.
FileRefusal WrongBinarySize(long size, const ImageTarget& target);
FileRefusal NoEndRecord();
FileRefusal BadChecksum();
FileRefusal NotARecord();
FileRefusal RecordsAfterEnd();
FileRefusal TextAfterEnd();
FileRefusal NoData();
// A record the records library could not parse; `libraryText` is its message, said in this
// program's words where it is one of those known.
FileRefusal Unparsed(const std::string& libraryText);
// `address`: the first one past the end of the memory the file reaches.
FileRefusal OutOfRange(unsigned long long address, const ImageTarget& target);
FileRefusal Overlap(unsigned long long address, int first, int second, const ImageTarget& target);

// The contents could not be handed to the records library, read back from it or prepared by it
// (`what`: the system's account).
FileRefusal CannotHandOver(const std::string& what);
FileRefusal CannotReadBack(const std::string& what);
FileRefusal CannotPrepare(const std::string& what);

}  // namespace lpt
