#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The one reading of a point operation's parameters from text, shared by the dialogs' fields and
// tonecraft-batch's command line. Both accept surrounding blanks (spaces and tabs) and one
// leading '+' before a digit or point; decimal digits only (no hexadecimal, no digit grouping,
// no decimal comma), whatever the process's locale.
namespace ParameterText {

// A gray level: a whole number 0..255. None for anything else.
[[nodiscard]] std::optional<std::uint8_t> ParseLevel(std::string_view text);

// A real: a finite decimal number, with or without an exponent, read as the float it rounds to.
// A number too small for a float is the zero or subnormal it rounds to; one too large for a
// float, NaN and infinity are refused (none).
[[nodiscard]] std::optional<float> ParseReal(std::string_view text);

} // namespace ParameterText
