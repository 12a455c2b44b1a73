// Decoding the inside of a JSON string: 64 bytes at a time as one escape at
// a time, into a buffer of its own as in place.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "grpaudit/platform/json_string.h"

using grpaudit::platform::detail::decode_json_body;
using grpaudit::platform::detail::decode_json_body_bytewise;
using grpaudit::platform::detail::kNotJson;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  const std::size_t want = decode_json_body_bytewise(body, nullptr);
  if (decode_json_body(body, nullptr) != want) std::abort();
  std::string a(body.size(), '\0');
  std::string b(body.size(), '\0');
  if (decode_json_body_bytewise(body, a.data()) != want) std::abort();
  if (decode_json_body(body, b.data()) != want) std::abort();
  std::string in_place = body;
  if (decode_json_body(in_place, in_place.data()) != want) std::abort();
  if (want == kNotJson) return 0;
  if (a.compare(0, want, b, 0, want) != 0) std::abort();
  if (a.compare(0, want, in_place, 0, want) != 0) std::abort();
  return 0;
}
