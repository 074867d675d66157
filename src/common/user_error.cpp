#include "common/user_error.h"

namespace lpt {

namespace {

std::string RussianText(const std::string& first, const std::string& second,
                        UserError::Layout layout) {
    if (second.empty()) return first;
    if (first.empty()) return second;
    return first + (layout == UserError::Layout::Paragraphs ? "\n" : "; ") + second;
}

}  // namespace

std::string UserError::EnglishLine(const std::string& first, const std::string& second) {
    if (second.empty()) return first;
    if (first.empty()) return second;
    const bool stop = first.back() == '.';
    return first.substr(0, first.size() - (stop ? 1 : 0)) + "; " + second;
}

UserError::UserError(ErrorKind kind, const Wording& cause, const Wording& remedy, Layout russian)
    : std::runtime_error(EnglishLine(cause.en, remedy.en)),
      kind_(kind),
      layout_(russian),
      russian_(std::make_shared<const std::string>(RussianText(cause.ru, remedy.ru, russian))) {}

UserError::UserError(const UserError& error, const Wording& more)
    : std::runtime_error(EnglishLine(error.what(), more.en)),
      kind_(error.kind_),
      layout_(error.layout_),
      russian_(std::make_shared<const std::string>(
          RussianText(error.Russian(), more.ru, error.layout_))) {}

}  // namespace lpt
