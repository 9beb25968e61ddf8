// Integer conversion of texts: a number typed by the user, the pieces of a number text,
// a page number.  The one rule: optional leading blanks, an optional sign, at least one
// decimal digit, nothing else, and the value within 32 bits.  Anything else fails.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace strnum {

std::optional<std::int32_t> toInt32(std::string_view text);

}  // namespace strnum
