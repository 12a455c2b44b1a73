// The kernel's VLAN devices (port sub-interfaces and bridge VLAN interfaces),
// read as one table from /proc/net/vlan/config the first time one is asked about.

#include "grpaudit/kern/kern_io.h"
#include "grpaudit/kern/kernel.h"
#include "grpaudit/kern/listings.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/text.h"

namespace grpaudit::kern {

void Kernel::create_vlan_dev_cache() {
  // Set first: a build that fails half-way is not retried.
  caches_.vlan_dev_created = true;

  const std::string path = "/proc/net/vlan/config";
  std::string text;
  if (host_->is_regular_file(path)) text = kern::read_optional_file(*host_, path, warnings_);
  // Kernels list the devices in an order that often runs ascending: each
  // entry is offered the place after the one before.
  auto hint = caches_.vlan_dev.end();
  read_vlan_dev_config(text, [&](std::string_view dev, std::int64_t vid, std::string_view atlink) {
    hint = std::next(caches_.vlan_dev.insert_or_assign(
        hint, std::string(dev), KernVlanDevEntry(std::string(dev), vid, std::string(atlink))));
  });
}

std::pair<std::optional<std::int64_t>, std::optional<std::string>> Kernel::get_vlan_and_atlink(
    const std::string& dev) {
  if (!caches_.vlan_dev_created) create_vlan_dev_cache();
  const auto it = caches_.vlan_dev.find(dev);
  if (it == caches_.vlan_dev.end()) return {std::nullopt, std::nullopt};
  return {it->second.vid, it->second.atlink};
}

}  // namespace grpaudit::kern
