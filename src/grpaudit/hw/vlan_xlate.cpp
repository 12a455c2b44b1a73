#include "grpaudit/hw/vlan_xlate.h"

#include <stdexcept>
#include <string>

#include "grpaudit/util/ints.h"
#include "grpaudit/util/regex.h"
#include "grpaudit/util/text.h"

namespace grpaudit::hw {
namespace {

std::int64_t value_or_none(std::string_view value) {
  return value.data() == nullptr ? -1 : util::parse_dec(value);
}

}  // namespace

void parse_vlan_xlate(std::string_view text, std::vector<VlanXlate>& vlan_xlate) {
  static const util::Regex modid_re(R"(modid = (?P<modid>\d+) port = (?P<port>\d+))",
                                    util::Regex::Mode::kSearch);
  // The shell reports an unsupported table in words, not as a failure.
  if (util::contains(text, "ERROR")) return;
  for (const std::string_view line : util::Lines(text)) {
    // The line's fields by name, a later field replacing an earlier one; only
    // the port and the two VLANs are used. A view into the line is never
    // null, so a null view means absent.
    std::string_view port, old_vid, new_vid;
    const auto set = [&](std::string_view key, std::string_view value) {
      if (key == "port") {
        port = value;
      } else if (key == "old_vid") {
        old_vid = value;
      } else if (key == "new_vid") {
        new_vid = value;
      }
    };
    std::size_t start = 0;
    for (;;) {
      const std::size_t comma = line.find(',', start);
      const std::string_view field = line.substr(
          start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
      if (util::contains(field, "modid")) {
        if (const auto m = modid_re.match(field)) set("port", (*m)["port"]);
      } else {
        const std::string_view stripped = util::strip(field);
        const std::size_t eq = stripped.find('=');
        if (eq == std::string_view::npos) {
          throw std::out_of_range("no \"=\" in field " + util::quote(field) + " of line " +
                                  util::quote(line));
        }
        const std::string_view rest = stripped.substr(eq + 1);
        set(util::strip(stripped.substr(0, eq)), util::strip(rest.substr(0, rest.find('='))));
      }
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
    // Read in this order, so that of two bad values the port's is reported.
    const std::int64_t lport = value_or_none(port);
    const std::int64_t evid = value_or_none(old_vid);
    const std::int64_t ivid = value_or_none(new_vid);
    vlan_xlate.emplace_back(lport, ivid, evid);
  }
}

}  // namespace grpaudit::hw
