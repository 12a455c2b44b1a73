// The kernel device cache: the kind and VLAN filtering of every net device a
// route names, read once per name, and the resolution of VLAN devices to the
// device they sit on.

#include <algorithm>
#include <stdexcept>

#include <fmt/format.h>

#include "grpaudit/kern/kern_io.h"
#include "grpaudit/kern/kernel.h"
#include "grpaudit/kern/listings.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/text.h"

namespace grpaudit::kern {

std::string Kernel::dev_kind_parse(const std::string& dev) {
  if (std::find(linux_ports_.begin(), linux_ports_.end(), dev) != linux_ports_.end()) return "swp";
  if (kern::kernel_cannot_name(dev)) return "unk";

  return link_kind(*cmd_output(command_argv(fmt::format("/bin/ip -d link show {}", dev)), ""), dev);
}

std::int64_t Kernel::dev_vlan_filtering_parse(const std::string& dev) {
  std::int64_t vlan_filtering = 0;
  if (kern::kernel_cannot_name(dev)) return vlan_filtering;
  const std::string path = "/sys/class/net/" + dev + "/bridge/vlan_filtering";
  if (!host_->is_regular_file(path)) return vlan_filtering;
  return vlan_filtering_value(read_optional_file(*host_, path, warnings_));
}

const KernDevEntry& Kernel::dev_cache_get(const std::string& dev) {
  if (const auto it = caches_.dev.find(dev); it != caches_.dev.end()) return it->second;
  std::string kind = dev_kind_parse(dev);
  const std::int64_t vlan_filtering = dev_vlan_filtering_parse(dev);
  return caches_.dev.emplace(dev, KernDevEntry(dev, std::move(kind), vlan_filtering)).first->second;
}

std::pair<std::string, std::int64_t> Kernel::get_dev_vlan(const std::string& dev,
                                                          const std::string& kind,
                                                          std::int64_t parent_vlan) {
  if (kind == "vlan") {
    auto [vid, atlink] = get_vlan_and_atlink(dev);
    // VID 0 is not a VLAN: the device stays itself.
    if (vid && *vid != 0 && atlink) return {std::move(*atlink), *vid};
  }
  return {dev, parent_vlan};
}

std::tuple<std::string, std::string, std::int64_t> Kernel::base_dev_kind_get(
    const std::string& orig_dev, std::int64_t parent_vlan) {
  BaseDev base = base_dev(orig_dev);
  return {*base.kind, std::move(base.dev), base.own_vlan ? base.vlan : parent_vlan};
}

BaseDev Kernel::base_dev(const std::string& orig_dev) {
  std::string kind = dev_kind_get(orig_dev);
  BaseDev base{nullptr, orig_dev};
  if (kind == "vlan") {
    // As get_dev_vlan: VID 0 is not a VLAN, the device stays itself.
    auto [vid, atlink] = get_vlan_and_atlink(orig_dev);
    if (vid && *vid != 0 && atlink) {
      base.dev = std::move(*atlink);
      base.own_vlan = true;
      base.vlan = *vid;
    }
  }
  // One level only: a VLAN device on a VLAN device yields the lower one, kind "vlan".
  if (base.dev != orig_dev) kind = dev_kind_get(base.dev);
  base.kind = &*kinds_.insert(std::move(kind)).first;
  return base;
}

}  // namespace grpaudit::kern
