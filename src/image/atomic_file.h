// Writing a file so that it is never seen half-written, without harm to what is not a file.
#pragma once

#include <string>

namespace lpt {

// Puts `contents` at `path`, according to what is there:
// - a regular file, or nothing yet: written to a temporary file in the same folder, put on the
//   disk (fsync) and renamed over `path`. On any failure the temporary file is removed and
//   `path` keeps whatever it held before. A file being replaced keeps its permissions; a new
//   one gets the usual 0666 less the umask.
// - a symbolic link: the file it points to is written that way (created where a link points
//   at nothing); the link stays a link.
// - a character or block device, a FIFO or a socket: written directly, never created,
//   truncated or replaced. A FIFO nobody reads from is refused at once instead of waiting.
// - a folder: refused.
// Every failure throws ImageFileError(CannotWrite).
void ReplaceFile(const std::string& path, const std::string& contents);

}  // namespace lpt
