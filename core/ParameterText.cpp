#include "ParameterText.h"

#include <charconv>
#include <cmath>
#include <locale.h>
#include <stdlib.h>
#include <string>
#include <system_error>

namespace {

// Blanks off both ends and one '+' off the front; a '+' before another sign stays, so that the
// number is refused.
std::string_view Unsigned(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+')
        text.remove_prefix(1);
    return text;
}

} // namespace

namespace ParameterText {

std::optional<std::uint8_t> ParseLevel(std::string_view text)
{
    text = Unsigned(text);
    long long value = 0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < 0 || value > 255)
        return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

std::optional<float> ParseReal(std::string_view text)
{
    text = Unsigned(text);
    // from_chars rounds the decimal straight to float: no detour through double.
    float value = 0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (text.empty() || ptr != end)
        return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        // Out of range is an error only above the float range. Below it, from_chars gives no
        // value; strtof in the C locale reads the syntax already matched and rounds it to the
        // zero or subnormal, and the program's own locale (a decimal comma) cannot change that.
        static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t{});
        const std::string copy(text);
        value = strtof_l(copy.c_str(), nullptr, cLocale);
    }
    if ((ec != std::errc() && ec != std::errc::result_out_of_range) || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace ParameterText
