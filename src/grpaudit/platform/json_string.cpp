#include "grpaudit/platform/json_string.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "grpaudit/util/ints.h"

namespace grpaudit::platform::detail {
namespace {

// The code unit of the four hex digits at `p`, or -1.
long hex4(const char* p) {
  long v = 0;
  for (int i = 0; i < 4; ++i) {
    const int d = util::digit_value(p[i]);
    if (d >= 16) return -1;
    v = v * 16 + d;
  }
  return v;
}

char* put_utf8(unsigned long cp, char* d) {
  const auto byte = [](unsigned long v) {
    return static_cast<char>(static_cast<unsigned char>(v));
  };
  if (cp <= 0x7F) {
    *d++ = byte(cp);
  } else if (cp <= 0x7FF) {
    *d++ = byte(0xC0 | (cp >> 6));
    *d++ = byte(0x80 | (cp & 0x3F));
  } else if (cp <= 0xFFFF) {
    *d++ = byte(0xE0 | (cp >> 12));
    *d++ = byte(0x80 | ((cp >> 6) & 0x3F));
    *d++ = byte(0x80 | (cp & 0x3F));
  } else {
    *d++ = byte(0xF0 | (cp >> 18));
    *d++ = byte(0x80 | ((cp >> 12) & 0x3F));
    *d++ = byte(0x80 | ((cp >> 6) & 0x3F));
    *d++ = byte(0x80 | (cp & 0x3F));
  }
  return d;
}

// What a one-letter escape stands for, or 0 where the letter makes none
// (also for 'u', which takes four hex digits).
constexpr std::array<char, 128> kEscapes = [] {
  std::array<char, 128> t{};
  t['"'] = '"';
  t['\\'] = '\\';
  t['/'] = '/';
  t['b'] = '\b';
  t['f'] = '\f';
  t['n'] = '\n';
  t['r'] = '\r';
  t['t'] = '\t';
  return t;
}();

// Decodes from `p` up to and including the first escape at or after it (to
// `end` when there is none), appending to out[size...]. Returns where the
// decoding goes on, or null when the escape is not JSON. The text moves
// with memmove: it may be decoded in place.
const char* decode_step(const char* p, const char* end, char* out, std::size_t& size) {
  const auto put = [out, &size](const char* from, std::size_t n) {
    if (out != nullptr) std::memmove(out + size, from, n);
    size += n;
  };
  const auto* bs =
      static_cast<const char*>(std::memchr(p, '\\', static_cast<std::size_t>(end - p)));
  if (bs == nullptr) {
    put(p, static_cast<std::size_t>(end - p));
    return end;
  }
  put(p, static_cast<std::size_t>(bs - p));
  if (end - bs < 2) return nullptr;
  const auto letter = static_cast<unsigned char>(bs[1]);
  if (letter < kEscapes.size() && kEscapes[letter] != 0) {
    put(&kEscapes[letter], 1);
    return bs + 2;
  }
  if (letter != 'u' || end - bs < 6) return nullptr;
  long cp = hex4(bs + 2);
  p = bs + 6;
  if (cp < 0 || (cp >= 0xDC00 && cp <= 0xDFFF)) return nullptr;
  if (cp >= 0xD800 && cp <= 0xDBFF) {
    // A high surrogate stands only before a low one.
    if (end - p < 6 || p[0] != '\\' || p[1] != 'u') return nullptr;
    const long low = hex4(p + 2);
    if (low < 0xDC00 || low > 0xDFFF) return nullptr;
    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
    p += 6;
  }
  char utf8[4];
  put(utf8, static_cast<std::size_t>(put_utf8(static_cast<unsigned long>(cp), utf8) - utf8));
  return p;
}

}  // namespace

std::uint64_t escaped_bytes(std::uint64_t backslash, std::uint64_t& carry) {
  constexpr std::uint64_t kEven = 0x5555555555555555ULL;
  backslash &= ~carry;  // an escaped backslash escapes nothing
  const std::uint64_t follows = (backslash << 1) | carry;
  const std::uint64_t odd_starts = backslash & ~kEven & ~follows;
  std::uint64_t even_runs = 0;
  carry = __builtin_add_overflow(odd_starts, backslash, &even_runs) ? 1 : 0;
  return (kEven ^ (even_runs << 1)) & follows;
}

std::size_t decode_json_body_bytewise(std::string_view body, char* out) {
  const char* p = body.data();
  const char* const end = p + body.size();
  std::size_t size = 0;
  while (p < end) {
    p = decode_step(p, end, out, size);
    if (p == nullptr) return kNotJson;
  }
  return size;
}

std::size_t decode_json_body(std::string_view body, char* out) {
  return decode_json_body_bytewise(body, out);
}

}  // namespace grpaudit::platform::detail
