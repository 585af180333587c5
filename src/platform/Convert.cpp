#include "platform/Convert.h"

#include <charconv>
#include <limits>

namespace zt {

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
}  // namespace

std::optional<int32_t> TryStrToInt(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    uint64_t magnitude = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    const uint64_t limit = negative ? uint64_t(std::numeric_limits<int32_t>::max()) + 1
                                    : uint64_t(std::numeric_limits<int32_t>::max());
    if (magnitude > limit) return std::nullopt;
    const int64_t value = negative ? -int64_t(magnitude) : int64_t(magnitude);
    return static_cast<int32_t>(value);
}

int32_t StrToInt(std::string_view text) {
    if (auto v = TryStrToInt(text)) return *v;
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

int32_t StrToIntDef(std::string_view text, int32_t fallback) {
    return TryStrToInt(text).value_or(fallback);
}

std::string IntToStr(int64_t value) {
    return std::to_string(value);
}

}  // namespace zt
