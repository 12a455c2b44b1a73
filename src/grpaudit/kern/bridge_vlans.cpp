// Bridge VLAN membership: which ports carry each VLAN tagged and untagged,
// read as one table from the bridge tool's JSON listing on first need.

#include <limits>
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "grpaudit/asic/asic.h"
#include "grpaudit/kern/kern_io.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/json_brief.h"
#include "grpaudit/util/text.h"

namespace grpaudit {
namespace {

using nlohmann::json;

// The listing's shape problems are JSON errors, like its syntax errors; the
// message shows the offending value.
[[noreturn]] void wrong_type(const json& value, std::string_view what) {
  throw json::type_error::create(
      302, fmt::format("bridge VLAN listing: {}: {}", what, util::quote(util::json_brief(value))),
      &value);
}

const json& member(const json& object, const char* name) {
  if (!object.is_object()) wrong_type(object, "expected an object");
  const auto it = object.find(name);
  if (it == object.end()) {
    throw json::out_of_range::create(403,
                                     fmt::format("bridge VLAN listing: no \"{}\" in {}", name,
                                                 util::quote(util::json_brief(object))),
                                     &object);
  }
  return *it;
}

bool egress_untagged(const json& vlan) {
  const auto flags = vlan.find("flags");
  if (flags == vlan.end()) return false;
  if (!flags->is_array()) wrong_type(*flags, "\"flags\" is not an array");
  for (const json& flag : *flags) {
    if (flag.is_string() && flag.get_ref<const std::string&>() == "Egress Untagged") return true;
  }
  return false;
}

std::int64_t vlan_id(const json& vlan) {
  const auto id = vlan.find("vlan");
  if (id == vlan.end()) return 0;
  if (id->is_number_unsigned()) {
    const auto value = id->get<std::uint64_t>();
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      throw std::invalid_argument("integer out of range: " + util::quote(id->dump()));
    }
    return static_cast<std::int64_t>(value);
  }
  if (id->is_number_integer()) return id->get<std::int64_t>();
  if (id->is_string()) return util::parse_dec(id->get_ref<const std::string&>());
  wrong_type(*id, "\"vlan\" is neither an integer nor a decimal text");
}

}  // namespace

void Asic::_kern_create_vlan_cache() {
  // Set first: a build that fails half-way is not retried.
  kern_vlan_cache_created = true;

  const json listing =
      json::parse(_get_cmd_output(kern::command_argv("/sbin/bridge -j vlan show"), "{}"));
  if (listing.is_object() && listing.empty()) return;  // the fallback of a failed listing
  if (!listing.is_array()) wrong_type(listing, "expected an array of ports");

  for (const json& device : listing) {
    const json& name = member(device, "ifname");
    if (!name.is_string()) wrong_type(name, "\"ifname\" is not a text");
    const std::string& ifname = name.get_ref<const std::string&>();
    const json& vlans = member(device, "vlans");
    if (!vlans.is_array()) wrong_type(vlans, "\"vlans\" is not an array");

    for (const json& vlan : vlans) {
      const std::string kind = _kern_dev_kind_get(ifname);
      // The bridge's own VLANs are not ports of the VLAN.
      if (kind == "bridge") continue;
      if (!vlan.is_object()) wrong_type(vlan, "expected a VLAN object");
      const bool untagged = egress_untagged(vlan);
      const std::int64_t vid = vlan_id(vlan);
      KernVlanEntry& entry = kern_vlan_cache.try_emplace(vid, vid).first->second;
      if (kind == "bond") {
        for (const auto& link : _expand_kern_bond(ifname)) entry.add_port(link, untagged);
      } else {
        entry.add_port(ifname, untagged);
      }
    }
  }
}

std::vector<std::string> Asic::_kern_get_vlan_members(std::int64_t vid) {
  if (!kern_vlan_cache_created) _kern_create_vlan_cache();
  const auto it = kern_vlan_cache.find(vid);
  if (it == kern_vlan_cache.end()) return {};
  std::vector<std::string> members = it->second.tagged_swp;
  members.insert(members.end(), it->second.untagged_swp.begin(), it->second.untagged_swp.end());
  return members;
}

}  // namespace grpaudit
