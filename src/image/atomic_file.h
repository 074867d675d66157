// Replacing a file so that it is never seen half-written.
#pragma once

#include <string>

namespace lpt {

// Writes `contents` to a temporary file in the folder of `path`, puts it on the disk (fsync)
// and renames it over `path`. On any failure the temporary file is removed, `path` keeps
// whatever it held before, and ImageFileError(CannotWrite) is thrown. A file being replaced
// keeps its permissions; a new one gets the usual 0666 less the umask.
void ReplaceFile(const std::string& path, const std::string& contents);

}  // namespace lpt
