#pragma once
// Decoding the inside of a JSON string, for the texts of a snapshot that are
// read from its file rather than by the JSON parser.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace grpaudit::platform::detail {

inline constexpr std::size_t kNotJson = static_cast<std::size_t>(-1);

// The bytes of a block of 64 that a backslash escapes, one bit per byte,
// given its backslashes. A run of backslashes escapes every second byte from
// its start, and the byte after it when its length is odd; `carry` says the
// block starts with an escaped byte, and is set when the next one does.
std::uint64_t escaped_bytes(std::uint64_t backslash, std::uint64_t& carry);

// The text that `body`, the inside of a JSON string, stands for: written to
// `out` (room for body.size() bytes) unless it is null; returns its size, or
// kNotJson when `body` holds an escape that JSON does not allow. Quotes and
// control characters are not looked for: the caller has found the string's
// end, and checks the rest as it needs. `out` may be `body.data()` itself,
// or any place before it: the text is decoded in place.
//
// JSON listings kept in a snapshot have an escape every few bytes; where the
// processor can, the escapes of 64 bytes are removed at once.
std::size_t decode_json_body(std::string_view body, char* out);

// The same, one escape at a time, on every processor.
std::size_t decode_json_body_bytewise(std::string_view body, char* out);

}  // namespace grpaudit::platform::detail
