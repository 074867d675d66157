#include "image/image_errors.h"

#include <cstdio>
#include <utility>

namespace lpt {

namespace {

// Where in the file: "line 12: ", "offset 0x800: "; in Russian ", строка 12", ", смещение 0x800".
std::string Where(std::optional<long> line, std::optional<long> offset, bool russian) {
    char buf[64] = "";
    if (line)
        std::snprintf(buf, sizeof buf, russian ? ", строка %ld" : "line %ld: ", *line);
    else if (offset)
        std::snprintf(buf, sizeof buf, russian ? ", смещение 0x%lX" : "offset 0x%lX: ", *offset);
    return buf;
}

}  // namespace

ImageFileError::ImageFileError(std::string path, const FileRefusal& refusal,
                               std::optional<long> line, std::optional<long> offset)
    : UserError(ErrorKind::File,
                {path + ": " + Where(line, offset, false) + refusal.cause.en,
                 "Файл «" + path + "»" + Where(line, offset, true) + ": " + refusal.cause.ru},
                refusal.remedy, Layout::OneLine),
      fault(refusal.fault),
      path(std::move(path)),
      line(line),
      offset(offset),
      reason(EnglishLine(refusal.cause.en, refusal.remedy.en)) {}

}  // namespace lpt
