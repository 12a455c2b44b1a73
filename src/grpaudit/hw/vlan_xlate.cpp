#include "grpaudit/hw/vlan_xlate.h"

#include <map>
#include <stdexcept>
#include <string>

#include "grpaudit/asic/asic.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/regex.h"
#include "grpaudit/util/text.h"

namespace grpaudit::hw {
namespace {

std::int64_t value_or_none(const std::map<std::string, std::string, std::less<>>& tvs,
                           std::string_view key) {
  const auto it = tvs.find(key);
  return it == tvs.end() ? -1 : util::parse_dec(it->second);
}

}  // namespace

void parse_vlan_xlate(std::string_view text, std::vector<VlanXlate>& vlan_xlate) {
  static const util::Regex modid_re(R"(modid = (?P<modid>\d+) port = (?P<port>\d+))",
                                    util::Regex::Mode::kSearch);
  // The shell reports an unsupported table in words, not as a failure.
  if (util::contains(text, "ERROR")) return;
  for (const std::string_view line : util::split_lines(text)) {
    std::map<std::string, std::string, std::less<>> tvs;
    for (const std::string_view field : util::split_at(line, ",")) {
      if (util::contains(field, "modid")) {
        if (const auto m = modid_re.match(field)) {
          tvs.insert_or_assign("modid", std::string((*m)["modid"]));
          tvs.insert_or_assign("port", std::string((*m)["port"]));
        }
        continue;
      }
      const auto parts = util::split_at(util::strip(field), "=");
      if (parts.size() < 2) {
        throw std::out_of_range("no \"=\" in field " + util::quote(field) + " of line " +
                                util::quote(line));
      }
      tvs.insert_or_assign(std::string(util::strip(parts[0])), std::string(util::strip(parts[1])));
    }
    const std::int64_t port = value_or_none(tvs, "port");
    const std::int64_t old_vid = value_or_none(tvs, "old_vid");
    const std::int64_t new_vid = value_or_none(tvs, "new_vid");
    vlan_xlate.emplace_back(port, new_vid, old_vid);
  }
}

}  // namespace grpaudit::hw

namespace grpaudit {

void Asic::_parse_vlan_xlate() {
  hw::parse_vlan_xlate(sdk_run("vlan translate show", "vlan translate show"), vlan_xlate);
}

}  // namespace grpaudit
