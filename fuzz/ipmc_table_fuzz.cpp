// Feeds arbitrary text to the route listing reader: only the documented
// error kinds may escape.

#include <cstddef>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string_view>

#include "grpaudit/hw/ipmc_table.h"
#include "grpaudit/records/route_key.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)grpaudit::split_route_key(text);
  std::map<std::string, grpaudit::Hmroute> routes;
  try {
    grpaudit::hw::parse_ipmc_table(
        text, [](std::int64_t id) { return std::to_string(id); }, routes);
  } catch (const std::invalid_argument&) {
  } catch (const std::out_of_range&) {
  }
  return 0;
}
