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
  // Two header lines, then "name | VID | lower device" with padded fields.
  // Kernels list the devices in an order that often runs ascending: each
  // entry is offered the place after the one before.
  auto hint = kern_vlan_dev_cache.end();
  std::size_t index = 0;
  for (const auto line : util::Lines(text)) {
    if (index++ < 2) continue;
    // The first three pieces of the line at "|"; a line with fewer is skipped.
    const std::size_t bar1 = line.find('|');
    if (bar1 == std::string_view::npos) continue;
    const std::size_t bar2 = line.find('|', bar1 + 1);
    if (bar2 == std::string_view::npos) continue;
    const std::size_t bar3 = line.find('|', bar2 + 1);
    const std::string_view dev = util::strip(line.substr(0, bar1));
    const std::int64_t vid = util::parse_dec(util::strip(line.substr(bar1 + 1, bar2 - bar1 - 1)));
    const std::string_view atlink =
        util::strip(line.substr(bar2 + 1, bar3 == std::string_view::npos ? bar3 : bar3 - bar2 - 1));
    hint = std::next(kern_vlan_dev_cache.insert_or_assign(
        hint, std::string(dev), KernVlanDevEntry(std::string(dev), vid, std::string(atlink))));
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
