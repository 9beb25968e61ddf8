// The one exception type of the core.
//
// Every failure that ends an operation is an Error: a kind, so that callers can tell a
// missing file from a damaged one without parsing text, and a message in Russian that
// names the file, the field and the record concerned.  The message is held in code page
// 1251 like every other core string; the front ends convert it when they show it
// (utf8() is there for the command-line tool and for test output).
//
// Closing steps never live next to a throw: tables and files close in destructors, so an
// Error may leave any function of the core without leaking or half-writing anything.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace strnum {

enum class ErrorKind {
    NotFound,         // a file, directory, table or field that is not there
    Corrupt,          // a file whose bytes cannot be right
    Unsupported,      // a real file of a variant we do not handle (encrypted, foreign format)
    Io,               // the system refused a read, write, create or lock
    Locked,           // a record or file held by another program
    InvalidArgument,  // a value the caller or the user gave that cannot be used
    Conversion,       // a text that is not a number, a character outside the code page
};

class Error : public std::runtime_error {
public:
    // message: code page 1251.
    Error(ErrorKind kind, std::string message) : std::runtime_error(std::move(message)), kind_(kind) {}

    ErrorKind kind() const noexcept { return kind_; }
    // The message in code page 1251, as the core keeps it.
    std::string_view text() const noexcept { return what(); }
    // The message in UTF-8, for terminals and logs.
    std::string utf8() const;

private:
    ErrorKind kind_;
};

// Short forms for the common kinds; message in code page 1251.
[[noreturn]] void throwError(ErrorKind kind, std::string message);

}  // namespace strnum
