// Bridge VLAN membership: which ports carry each VLAN tagged and untagged,
// read as one table from the bridge tool's JSON listing on first need.

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>

#include <fmt/format.h>
#include <simdjson.h>
#include <nlohmann/json.hpp>

#include "grpaudit/kern/kern_io.h"
#include "grpaudit/kern/kernel.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/json_brief.h"
#include "grpaudit/util/text.h"

namespace grpaudit::kern {
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

// The listing of a large switch has a VLAN object per port and VLAN, tens of
// thousands. simdjson reads it first, without acting on anything; only a
// listing it finds plainly well-formed throughout, so that the reading below
// could not fail on it, is then acted on from what it read. Anything else is
// left to the reading below, which has the last word, errors included, and
// acts on it.
namespace fast {

namespace sj = simdjson;

struct Vlan {
  std::int64_t vid;
  bool untagged;
};
struct Device {
  std::string_view ifname;
  std::vector<Vlan> vlans;
};

bool read_vlan(sj::dom::element e, Vlan& out) {
  sj::dom::object obj;
  if (e.get(obj)) return false;
  std::optional<sj::dom::element> flags, id;
  for (const auto field : obj) {
    if (field.key == "flags")
      flags = field.value;
    else if (field.key == "vlan")
      id = field.value;
  }
  out.untagged = false;
  if (flags) {
    sj::dom::array list;
    if (flags->get(list)) return false;
    for (const auto flag : list) {
      std::string_view text;
      if (!flag.get(text) && text == "Egress Untagged") out.untagged = true;
    }
  }
  out.vid = 0;
  if (id) {
    std::string_view text;
    if (id->is_int64()) {
      out.vid = id->get_int64().value_unsafe();
    } else if (!id->get(text)) {
      try {
        out.vid = util::parse_dec(text);
      } catch (const std::invalid_argument&) {
        return false;
      }
    } else {
      return false;
    }
  }
  return true;
}

// None when the listing is anything but an array of well-formed ports (an
// empty object, the fallback of a failed listing, included).
std::optional<std::vector<Device>> read(sj::dom::element doc) {
  sj::dom::array ports;
  if (doc.get(ports)) return std::nullopt;
  std::vector<Device> out;
  for (const auto port : ports) {
    sj::dom::object obj;
    if (port.get(obj)) return std::nullopt;
    // Of a member given twice the last counts, as in the reading below.
    std::optional<sj::dom::element> ifname, vlans;
    for (const auto field : obj) {
      if (field.key == "ifname")
        ifname = field.value;
      else if (field.key == "vlans")
        vlans = field.value;
    }
    Device& d = out.emplace_back();
    sj::dom::array list;
    if (!ifname || !vlans || ifname->get(d.ifname) || vlans->get(list)) return std::nullopt;
    d.vlans.reserve(std::min<std::size_t>(list.size(), 65536));
    for (const auto vlan : list) {
      if (!read_vlan(vlan, d.vlans.emplace_back())) return std::nullopt;
    }
  }
  return out;
}

}  // namespace fast

}  // namespace

void Kernel::create_vlan_cache() {
  // Set first: a build that fails half-way is not retried.
  caches_.vlan_created = true;

  const auto text = cmd_output(kern::command_argv("/sbin/bridge -j vlan show"), "{}");
  {
    simdjson::dom::parser parser;
    simdjson::dom::element doc;
    std::optional<std::vector<fast::Device>> devices;
    if (!parser.parse(*text).get(doc)) devices = fast::read(doc);
    if (devices) {
      // The entry of each VLAN as first reached, by VLAN ID: a large switch
      // has tens of thousands of port VLANs but only thousands of VLANs.
      // Map nodes stay where they are. IDs beyond 16 bits go to the map.
      std::vector<KernVlanEntry*> by_vid;
      // How many ports each VLAN lists, tagged and untagged, so that each
      // member list is sized once (bonds may add more, which is only slower).
      std::vector<std::uint32_t> tagged_n, untagged_n;
      for (const fast::Device& device : *devices) {
        for (const fast::Vlan& vlan : device.vlans) {
          if (vlan.vid < 0 || vlan.vid >= 65536) continue;
          const auto slot = static_cast<std::size_t>(vlan.vid);
          if (slot >= tagged_n.size()) {
            tagged_n.resize(slot + 1, 0);
            untagged_n.resize(slot + 1, 0);
          }
          ++(vlan.untagged ? untagged_n : tagged_n)[slot];
        }
      }
      const auto entry_of = [&](std::int64_t vid) -> KernVlanEntry& {
        const bool small = vid >= 0 && vid < 65536;
        const auto slot = static_cast<std::size_t>(vid);
        if (small && slot < by_vid.size() && by_vid[slot] != nullptr) return *by_vid[slot];
        KernVlanEntry& entry = caches_.vlan.try_emplace(vid, vid).first->second;
        if (small) {
          if (slot >= by_vid.size()) by_vid.resize(std::max<std::size_t>(slot + 1, 4096), nullptr);
          by_vid[slot] = &entry;
          if (slot < tagged_n.size()) {
            entry.tagged_swp.reserve(entry.tagged_swp.size() + tagged_n[slot]);
            entry.untagged_swp.reserve(entry.untagged_swp.size() + untagged_n[slot]);
          }
        }
        return entry;
      };
      for (const fast::Device& device : *devices) {
        if (device.vlans.empty()) continue;  // never asked about
        const std::string ifname(device.ifname);
        // Asked at the device's first VLAN; the cache gives the same answer
        // for the others.
        const std::string& kind = dev_cache_get(ifname).kind;
        // The bridge's own VLANs are not ports of the VLAN.
        if (kind == "bridge") continue;
        if (kind == "bond") {
          for (const fast::Vlan& vlan : device.vlans) {
            KernVlanEntry& entry = entry_of(vlan.vid);
            for (const auto& link : expand_bond(ifname)) entry.add_port(link, vlan.untagged);
          }
          continue;
        }
        for (const fast::Vlan& vlan : device.vlans)
          entry_of(vlan.vid).add_port(ifname, vlan.untagged);
      }
      return;
    }
  }

  const json listing = json::parse(*text);
  if (listing.is_object() && listing.empty()) return;  // the fallback of a failed listing
  if (!listing.is_array()) wrong_type(listing, "expected an array of ports");

  for (const json& device : listing) {
    const json& name = member(device, "ifname");
    if (!name.is_string()) wrong_type(name, "\"ifname\" is not a text");
    const std::string& ifname = name.get_ref<const std::string&>();
    const json& vlans = member(device, "vlans");
    if (!vlans.is_array()) wrong_type(vlans, "\"vlans\" is not an array");

    for (const json& vlan : vlans) {
      const std::string kind = dev_kind_get(ifname);
      // The bridge's own VLANs are not ports of the VLAN.
      if (kind == "bridge") continue;
      if (!vlan.is_object()) wrong_type(vlan, "expected a VLAN object");
      const bool untagged = egress_untagged(vlan);
      const std::int64_t vid = vlan_id(vlan);
      KernVlanEntry& entry = caches_.vlan.try_emplace(vid, vid).first->second;
      if (kind == "bond") {
        for (const auto& link : expand_bond(ifname)) entry.add_port(link, untagged);
      } else {
        entry.add_port(ifname, untagged);
      }
    }
  }
}

std::vector<std::string> Kernel::get_vlan_members(std::int64_t vid) {
  if (!caches_.vlan_created) create_vlan_cache();
  const auto it = caches_.vlan.find(vid);
  if (it == caches_.vlan.end()) return {};
  std::vector<std::string> members = it->second.tagged_swp;
  members.insert(members.end(), it->second.untagged_swp.begin(), it->second.untagged_swp.end());
  return members;
}

const KernVlanEntry* Kernel::vlan_entry(std::int64_t vid) const {
  const auto it = caches_.vlan.find(vid);
  return it == caches_.vlan.end() ? nullptr : &it->second;
}

}  // namespace grpaudit::kern
