#pragma once
// Integer conversion of listing fields. All results are 64-bit; anything that
// is not exactly a number of the expected form, or does not fit, throws
// std::invalid_argument naming the text.

#include <cstdint>
#include <string_view>

namespace grpaudit::util {

// Optional '+'/'-', then one or more decimal digits.
std::int64_t parse_dec(std::string_view text);

// Optional sign, optional "0x"/"0X", then one or more hexadecimal digits.
std::int64_t parse_hex(std::string_view text);

// Optional sign, then the base from the prefix: "0x" hexadecimal, "0b" binary,
// "0o" or a leading "0" octal, otherwise decimal (prefix letters in either case).
std::int64_t parse_int_auto(std::string_view text);

// The value of a digit in any base up to 36: 0-9, then a-z or A-Z from 10;
// 99 for any other character.
int digit_value(char c);

// True when `text` is one or more decimal digits and nothing else.
bool is_digits(std::string_view text);

}  // namespace grpaudit::util
