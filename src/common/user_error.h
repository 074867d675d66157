// The one shape of every error a user can meet: what went wrong (the cause) and what to do about
// it (the remedy), each in English for the command-line program and in Russian for the window,
// and the kind of thing that failed.
//
// The English text is one line, "<cause>; <remedy>", as the command-line program prints it after
// its name; what() gives it. So its pieces are written as they stand in that line: in lower case
// unless they start with a name ("SDA", "PPCLAIM"), the cause without a closing full stop. The
// Russian text is the window's, in sentences with the remedy on a line of its own
// ("Cause.\nRemedy.") or, for a message that reads as one line, "cause; remedy".
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace lpt {

// One piece of a message in both languages.
struct Wording {
    std::string en;
    std::string ru;
};

// What failed. The command-line program's exit status follows it (Port 3, Bus 1, File and
// Usage 2), and the window's message title.
enum class ErrorKind {
    Usage,  // a choice the command line made that cannot be used (an unknown chip, say)
    Port,  // the parallel port cannot be used (missing, no access, held, gone)
    Bus,   // the I2C bus or the memory on it (SDA stuck, no answer, a page refused)
    File,  // an image file cannot be read, used or written
};

class UserError : public std::runtime_error {
public:
    // How Russian() sets the remedy after the cause.
    enum class Layout {
        Paragraphs,  // on a line of its own: "Cause.\nRemedy."
        OneLine,     // after "; " on the same line: "cause; remedy"
    };

    // An empty remedy leaves the text at the cause alone.
    UserError(ErrorKind kind, const Wording& cause, const Wording& remedy,
              Layout russian = Layout::Paragraphs);
    // The same error with `more` said after its remedy, as a remedy is: what came of the failure
    // and what to do now, which only the caller knows.
    UserError(const UserError& error, const Wording& more);

    ErrorKind Kind() const { return kind_; }
    // "<cause>; <remedy>", one line; the same as what().
    std::string English() const { return what(); }
    // The window's text.
    const std::string& Russian() const { return *russian_; }

    // The English line of two pieces: "first; second", without a full stop before the "; ".
    static std::string EnglishLine(const std::string& first, const std::string& second);

private:
    ErrorKind kind_;
    Layout layout_;
    // Shared so that copying the exception cannot throw.
    std::shared_ptr<const std::string> russian_;
};

}  // namespace lpt
