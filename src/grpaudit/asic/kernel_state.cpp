// The Asic's kernel readers: each the kernel part's own (kern/kernel.h).

#include "grpaudit/asic/asic.h"

namespace grpaudit {

std::string Asic::_kern_dev_kind_parse(const std::string& dev) {
  return kernel_.dev_kind_parse(dev);
}

std::int64_t Asic::_kern_dev_vlan_filtering_parse(const std::string& dev) {
  return kernel_.dev_vlan_filtering_parse(dev);
}

const KernDevEntry& Asic::_kern_dev_cache_get(const std::string& dev) {
  return kernel_.dev_cache_get(dev);
}

std::string Asic::_kern_dev_kind_get(const std::string& dev) {
  return kernel_.dev_kind_get(dev);
}

std::int64_t Asic::_kern_dev_vlan_filtering_get(const std::string& dev) {
  return kernel_.dev_vlan_filtering_get(dev);
}

std::pair<std::string, std::int64_t> Asic::_kern_get_dev_vlan(const std::string& dev,
                                                              const std::string& kind,
                                                              std::int64_t parent_vlan) {
  return kernel_.get_dev_vlan(dev, kind, parent_vlan);
}

std::tuple<std::string, std::string, std::int64_t> Asic::_kern_base_dev_kind_get(
    const std::string& orig_dev, std::int64_t parent_vlan) {
  return kernel_.base_dev_kind_get(orig_dev, parent_vlan);
}

void Asic::_kern_create_vlan_cache() {
  kernel_.create_vlan_cache();
}

std::vector<std::string> Asic::_kern_get_vlan_members(std::int64_t vid) {
  return kernel_.get_vlan_members(vid);
}

std::vector<std::string> Asic::_kern_get_br_members(const std::string& dev) {
  return kernel_.get_br_members(dev);
}

std::vector<std::string> Asic::_kern_setup_br_cache(const std::string& dev) {
  return kernel_.setup_br_cache(dev);
}

const KernMdbEntry* Asic::_kern_dev_get_mdb_entry(const std::string& orig_dev,
                                                  std::int64_t orig_vlan,
                                                  const std::string& orig_grp) {
  return kernel_.dev_get_mdb_entry(orig_dev, orig_vlan, orig_grp);
}

void Asic::_kern_create_vlan_dev_cache() {
  kernel_.create_vlan_dev_cache();
}

std::pair<std::optional<std::int64_t>, std::optional<std::string>> Asic::_kern_get_vlan_and_atlink(
    const std::string& dev) {
  return kernel_.get_vlan_and_atlink(dev);
}

std::vector<std::string> Asic::_expand_kern_bond(const std::string& dev) {
  return kernel_.expand_bond(dev);
}

}  // namespace grpaudit
