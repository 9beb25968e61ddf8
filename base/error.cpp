#include "base/error.h"

#include "base/text.h"

namespace strnum {

std::string Error::utf8() const { return cp1251ToUtf8(text()); }

void throwError(ErrorKind kind, std::string message) { throw Error(kind, std::move(message)); }

}  // namespace strnum
