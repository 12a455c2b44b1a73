// The kernel's VLAN devices (port sub-interfaces and bridge VLAN interfaces),
// read as one table from /proc/net/vlan/config the first time one is asked about.

#include "grpaudit/asic/asic.h"
#include "grpaudit/kern/kern_io.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/text.h"

namespace grpaudit {

void Asic::_kern_create_vlan_dev_cache() {
  // Set first: a build that fails half-way is not retried.
  kern_vlan_dev_cache_created = true;

  const std::string path = "/proc/net/vlan/config";
  std::string text;
  if (host()->is_regular_file(path)) text = kern::read_optional_file(*host(), path);
  const auto lines = util::split_lines(text);
  if (lines.size() < 2) return;

  // Two header lines, then "name | VID | lower device" with padded fields.
  for (std::size_t i = 2; i < lines.size(); ++i) {
    const auto fields = util::split_at(lines[i], "|");
    if (fields.size() < 3) continue;
    std::string dev(util::strip(fields[0]));
    const std::int64_t vid = util::parse_dec(util::strip(fields[1]));
    std::string atlink(util::strip(fields[2]));
    kern_vlan_dev_cache.insert_or_assign(dev, KernVlanDevEntry(dev, vid, std::move(atlink)));
  }
}

std::pair<std::optional<std::int64_t>, std::optional<std::string>> Asic::_kern_get_vlan_and_atlink(
    const std::string& dev) {
  if (!kern_vlan_dev_cache_created) _kern_create_vlan_dev_cache();
  const KernVlanDevEntry* entry = kern_vlan_dev_index_.find(kern_vlan_dev_cache, dev);
  if (entry == nullptr) return {std::nullopt, std::nullopt};
  return {entry->vid, entry->atlink};
}

}  // namespace grpaudit
