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
#include "grpaudit/util/json_parse.h"
#include "grpaudit/util/text.h"

namespace grpaudit::kern {
namespace {

namespace sj = simdjson;
using nlohmann::json;
using Element = sj::dom::element;

// The listing's shape problems are JSON errors, like its syntax errors; the
// message shows the offending value.
[[noreturn]] void wrong_type(Element value, std::string_view what) {
  throw json::type_error::create(
      302, fmt::format("bridge VLAN listing: {}: {}", what, util::quote(util::json_brief(value))),
      nullptr);
}

// Member `name` of `object`, the last of that name.
Element member(Element object, std::string_view name) {
  sj::dom::object fields;
  if (object.get(fields)) wrong_type(object, "expected an object");
  std::optional<Element> found;
  for (const auto field : fields) {
    if (field.key == name) found = field.value;
  }
  if (!found) {
    throw json::out_of_range::create(403,
                                     fmt::format("bridge VLAN listing: no \"{}\" in {}", name,
                                                 util::quote(util::json_brief(object))),
                                     nullptr);
  }
  return *found;
}

struct Vlan {
  std::int64_t vid = 0;
  bool untagged = false;
};

Vlan read_vlan(Element e) {
  sj::dom::object fields;
  if (e.get(fields)) wrong_type(e, "expected a VLAN object");
  std::optional<Element> flags, id;
  for (const auto field : fields) {
    if (field.key == "flags")
      flags = field.value;
    else if (field.key == "vlan")
      id = field.value;
  }
  Vlan out;
  if (flags) {
    sj::dom::array list;
    if (flags->get(list)) wrong_type(*flags, "\"flags\" is not an array");
    for (const Element flag : list) {
      std::string_view text;
      if (!flag.get(text) && text == "Egress Untagged") out.untagged = true;
    }
  }
  if (id) {
    std::string_view text;
    if (id->is_int64()) {
      out.vid = id->get_int64().value_unsafe();
    } else if (id->is_uint64()) {
      throw std::invalid_argument("integer out of range: " + util::quote(util::json_brief(*id)));
    } else if (!id->get(text)) {
      out.vid = util::parse_dec(text);
    } else {
      wrong_type(*id, "\"vlan\" is neither an integer nor a decimal text");
    }
  }
  return out;
}

// The cache's entries by VLAN ID: a large switch lists tens of thousands of
// port VLANs but has only thousands of VLANs. Map nodes stay where they are;
// IDs beyond 16 bits are found in the map.
class EntryByVid {
 public:
  explicit EntryByVid(std::map<std::int64_t, KernVlanEntry>& cache) : cache_(cache) {}

  KernVlanEntry& operator()(std::int64_t vid) {
    const bool small = vid >= 0 && vid < 65536;
    const auto slot = static_cast<std::size_t>(vid);
    if (small && slot < by_vid_.size() && by_vid_[slot] != nullptr) return *by_vid_[slot];
    KernVlanEntry& entry = cache_.try_emplace(vid, vid).first->second;
    if (small) {
      if (slot >= by_vid_.size()) by_vid_.resize(std::max<std::size_t>(slot + 1, 4096), nullptr);
      by_vid_[slot] = &entry;
    }
    return entry;
  }

 private:
  std::map<std::int64_t, KernVlanEntry>& cache_;
  std::vector<KernVlanEntry*> by_vid_;
};

}  // namespace

void Kernel::create_vlan_cache() {
  // Set first: a build that fails half-way is not retried.
  caches_.vlan_created = true;

  const auto text = cmd_output(kern::command_argv("/sbin/bridge -j vlan show"), "{}");
  sj::dom::parser parser;
  const Element listing = util::parse_json(parser, *text);
  sj::dom::object fallback;
  if (!listing.get(fallback) && fallback.size() == 0) return;  // the fallback of a failed listing
  sj::dom::array ports;
  if (listing.get(ports)) wrong_type(listing, "expected an array of ports");

  EntryByVid entry_of(caches_.vlan);
  for (const Element device : ports) {
    const Element name = member(device, "ifname");
    std::string_view ifname_text;
    if (name.get(ifname_text)) wrong_type(name, "\"ifname\" is not a text");
    const Element vlans = member(device, "vlans");
    sj::dom::array list;
    if (vlans.get(list)) wrong_type(vlans, "\"vlans\" is not an array");
    if (list.size() == 0) continue;  // never asked about

    const std::string ifname(ifname_text);
    // Asked at the device's first VLAN, before it is read; the cache gives
    // the same answer for the others.
    const std::string& kind = dev_kind_get(ifname);
    // The bridge's own VLANs are not ports of the VLAN.
    if (kind == "bridge") continue;
    const bool bond = kind == "bond";
    for (const Element e : list) {
      const Vlan vlan = read_vlan(e);
      KernVlanEntry& entry = entry_of(vlan.vid);
      if (bond) {
        for (const auto& link : expand_bond(ifname)) entry.add_port(link, vlan.untagged);
      } else {
        entry.add_port(ifname, vlan.untagged);
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
