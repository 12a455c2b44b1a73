#include "grpaudit/util/ints.h"

#include <charconv>
#include <limits>
#include <stdexcept>
#include <string>

#include "grpaudit/util/text.h"

namespace grpaudit::util {
int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

namespace {

[[noreturn]] void fail(std::string_view what, std::string_view text) {
  throw std::invalid_argument(std::string("not ") + std::string(what) + ": " + quote(text));
}

// Digits of `base` only, with the sign already taken off; checks the range.
std::int64_t convert(std::string_view digits, int base, bool negative, std::string_view what,
                     std::string_view text) {
  std::uint64_t value = 0;
  const char* const end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, value, base);
  const std::uint64_t limit =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
  if (error == std::errc::result_out_of_range || (error == std::errc() && value > limit)) {
    throw std::invalid_argument("integer out of range: " + quote(text));
  }
  if (error != std::errc() || stop != end) fail(what, text);
  if (!negative) return static_cast<std::int64_t>(value);
  if (value == limit) return std::numeric_limits<std::int64_t>::min();
  return -static_cast<std::int64_t>(value);
}

bool take_sign(std::string_view& s) {
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    const bool negative = s.front() == '-';
    s.remove_prefix(1);
    return negative;
  }
  return false;
}

bool has_prefix(std::string_view s, char lower) {
  return s.size() >= 2 && s[0] == '0' && (s[1] == lower || s[1] == lower - 'a' + 'A');
}

}  // namespace

std::int64_t parse_dec(std::string_view text) {
  std::string_view s = text;
  const bool negative = take_sign(s);
  return convert(s, 10, negative, "a decimal integer", text);
}

std::int64_t parse_hex(std::string_view text) {
  std::string_view s = text;
  const bool negative = take_sign(s);
  if (has_prefix(s, 'x')) s.remove_prefix(2);
  return convert(s, 16, negative, "a hexadecimal integer", text);
}

std::int64_t parse_int_auto(std::string_view text) {
  std::string_view s = text;
  const bool negative = take_sign(s);
  constexpr std::string_view what = "an integer";
  if (has_prefix(s, 'x')) return convert(s.substr(2), 16, negative, what, text);
  if (has_prefix(s, 'b')) return convert(s.substr(2), 2, negative, what, text);
  if (has_prefix(s, 'o')) return convert(s.substr(2), 8, negative, what, text);
  if (s.size() >= 2 && s[0] == '0') return convert(s.substr(1), 8, negative, what, text);
  return convert(s, 10, negative, what, text);
}

bool is_digits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace grpaudit::util
