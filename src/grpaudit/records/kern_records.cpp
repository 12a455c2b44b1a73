#include "grpaudit/records/kern_records.h"

#include <algorithm>
#include <iterator>

#include <fmt/format.h>

namespace grpaudit {

KernDevEntry::KernDevEntry(std::string dev_, std::string kind_, std::int64_t vlan_filtering_)
    : dev(std::move(dev_)), kind(std::move(kind_)), vlan_filtering(vlan_filtering_) {}

std::string KernDevEntry::str() const {
  return fmt::format("{}: kind: {} vlan_filtering: {}\n", dev, kind, vlan_filtering);
}

KernVlanDevEntry::KernVlanDevEntry(std::string dev_, std::int64_t vid_, std::string atlink_)
    : dev(std::move(dev_)), vid(vid_), atlink(std::move(atlink_)) {}

std::string KernVlanDevEntry::str() const {
  return fmt::format("dev: {} vid: {} atlink: {}", dev, vid, atlink);
}

KernVlanEntry::KernVlanEntry(std::int64_t vid_) : vid(vid_) {}

void KernVlanEntry::add_port(const std::string& port, bool untagged) {
  (untagged ? untagged_swp : tagged_swp).push_back(port);
}

std::string KernVlanEntry::str() const {
  return fmt::format("vid: {}\n  tagged: {}\n  untagged: {}\n", vid, fmt::join(tagged_swp, ","),
                     fmt::join(untagged_swp, ","));
}

KernMdbEntry::KernMdbEntry(std::int64_t vid_, std::string grp_) : grp(std::move(grp_)), vid(vid_) {}

void KernMdbEntry::add_port(std::string_view dev) {
  if (std::find(swp.begin(), swp.end(), dev) == swp.end()) swp.emplace_back(dev);
}

std::string KernMdbEntry::str() const {
  std::string out =
      vid != -1 ? fmt::format("  vid: {} grp: {}\n", vid, grp) : fmt::format("  grp: {}\n", grp);
  for (const auto& p : swp) out += fmt::format("    port: {}\n", p);
  return out;
}

KernMdbRportEntry::KernMdbRportEntry(std::int64_t vid_) : vid(vid_) {}

void KernMdbRportEntry::add_port(const std::string& dev) {
  swp.push_back(dev);
}

KernMdbCache::KernMdbCache(std::string dev_, std::int64_t vlan_filtering_, KernMdbEntries entries)
    : dev(std::move(dev_)), vlan_filtering(vlan_filtering_), mdb_entries(std::move(entries)) {}

std::string KernMdbCache::str() const {
  std::string out = fmt::format("dev: {}:\n", dev);
  for (const auto& [key, entry] : mdb_entries) fmt::format_to(std::back_inserter(out), "{}", entry);
  return out;
}

std::ostream& operator<<(std::ostream& os, const KernDevEntry& e) {
  return os << e.str();
}
std::ostream& operator<<(std::ostream& os, const KernVlanDevEntry& e) {
  return os << e.str();
}
std::ostream& operator<<(std::ostream& os, const KernVlanEntry& e) {
  return os << e.str();
}
std::ostream& operator<<(std::ostream& os, const KernMdbEntry& e) {
  return os << e.str();
}
std::ostream& operator<<(std::ostream& os, const KernMdbCache& e) {
  return os << e.str();
}

}  // namespace grpaudit
