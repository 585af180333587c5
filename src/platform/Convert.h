#pragma once
// Text to number conversions that fail loudly: a settings value is kept as
// text and converted where it is used, so a malformed value raises
// EConvertError at that point.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Exceptions.h"

namespace zt {

// Parses a decimal integer (surrounding blanks allowed, optional sign, or a
// "$"/"0x" hexadecimal form). Nothing else is accepted.
std::optional<int32_t> TryStrToInt(std::string_view text);

// As TryStrToInt; a text that is not an integer raises EConvertError
// "'<text>' is not a valid integer value".
int32_t StrToInt(std::string_view text);

// As TryStrToInt, with a fallback for text that is not an integer.
int32_t StrToIntDef(std::string_view text, int32_t fallback);

std::string IntToStr(int64_t value);

}  // namespace zt
