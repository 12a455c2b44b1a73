// A bridge's multicast database: for each VLAN and group MAC, the ports that
// must receive the group, its multicast router ports included. Read once per
// bridge.

#include <fmt/format.h>

#include <span>

#include <absl/container/flat_hash_set.h>

#include "grpaudit/kern/kern_io.h"
#include "grpaudit/kern/kernel.h"
#include "grpaudit/kern/listings.h"
#include "grpaudit/records/group_mac.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/regex.h"
#include "grpaudit/util/text.h"

namespace grpaudit::kern {
namespace {

// The first router port of a "router ports on <bridge>: ..." line (`prefix`
// is the line's start up to the port), or none.
// The bridge name is compared as plain text: the kernel names the bridge
// itself, and a name is not a pattern.
std::optional<std::string> router_port(std::string_view line, std::string_view prefix) {
  static const util::Regex rport_re(R"((?P<rport>\S+))", util::Regex::Mode::kAnchored);
  if (!line.starts_with(prefix)) return std::nullopt;
  const auto m = rport_re.match(line.substr(prefix.size()));
  if (!m) return std::nullopt;
  return std::string((*m)["rport"]);
}

}  // namespace

const KernMdbEntry* Kernel::dev_get_mdb_entry(const std::string& orig_dev, std::int64_t orig_vlan,
                                              const std::string& orig_grp) {
  // Asked for every bridge interface of every route: the key is formed in a
  // buffer kept from call to call.
  util::dot_join_into(mdb_key_, orig_vlan, orig_grp);
  const auto lookup = [this](const KernMdbCache& mdb) -> const KernMdbEntry* {
    const auto it = mdb.mdb_entries.find(mdb_key_);
    return it == mdb.mdb_entries.end() ? nullptr : &it->second;
  };
  if (const auto cached = caches_.mdb.find(orig_dev); cached != caches_.mdb.end()) {
    return lookup(cached->second);
  }

  // A name the kernel cannot have lists nothing, as an unknown bridge would.
  const auto out =
      kern::kernel_cannot_name(orig_dev)
          ? std::make_shared<const std::string>()
          : cmd_output(
                kern::command_argv(fmt::format("/sbin/bridge -d -s mdb show dev {}", orig_dev)),
                "");
  const util::Lines lines(*out);
  const std::int64_t vlan_filtering = dev_vlan_filtering_get(orig_dev);
  // Stored before parsing: a parse that fails leaves what it had read.
  KernMdbCache& mdb =
      caches_.mdb.insert_or_assign(orig_dev, KernMdbCache(orig_dev, vlan_filtering)).first->second;

  // A router port stands for its front-panel port, or its bond's links, with
  // no VLAN suffix; a router port of any other kind is not replicated to.
  const auto add_router_port = [this](KernMdbRportEntry& entry, const std::string& rport) {
    const auto [kind, new_port, new_vlan] = base_dev_kind_get(rport, -1);
    if (kind == "bond") {
      for (const auto& link : expand_bond(new_port)) entry.add_port(link);
    } else if (kind == "swp") {
      entry.add_port(new_port);
    }
  };

  const std::string rport_prefix = "router ports on " + orig_dev + ": ";
  // The lines that may be group entries (their pattern starts so), kept for
  // the second pass rather than split out of the text again.
  std::vector<std::string_view> entry_lines;
  for (const auto line : lines) {
    if (line.starts_with("dev ")) {
      entry_lines.push_back(line);
      continue;
    }
    const auto rport = router_port(line, rport_prefix);
    if (!rport) continue;
    if (vlan_filtering == 0) {
      add_router_port(mdb.mdb_rports.try_emplace(-1, -1).first->second, *rport);
      continue;
    }
    // The router port in each VLAN it carries.
    const auto vlan_out =
        kernel_cannot_name(*rport)
            ? std::make_shared<const std::string>()
            : cmd_output(command_argv(fmt::format("/sbin/bridge vlan show dev {}", *rport)), "");
    read_port_vlans(*vlan_out, [&](std::int64_t vid) {
      add_router_port(mdb.mdb_rports.try_emplace(vid, vid).first->second, *rport);
    });
  }

  static const util::Regex aware_re(
      R"(dev (?P<dev>\S+) port (?P<port>\S+) grp (?P<grp_ip>\S+) \S+ vid (?P<vid>\d+))",
      util::Regex::Mode::kAnchored);
  static const util::Regex unaware_re(R"(dev (?P<dev>\S+) port (?P<port>\S+) grp (?P<grp_ip>\S+))",
                                      util::Regex::Mode::kAnchored);
  const util::Regex& entry_re = vlan_filtering != 0 ? aware_re : unaware_re;

  // The router ports of each VLAN by VLAN ID: the table is complete now and
  // every new entry asks it. The ports' own storage is held by the map,
  // whose nodes stay where they are; the view saves a visit to the node.
  std::vector<std::span<const std::string>> rports_by_vid;
  for (const auto& [vid, rports] : mdb.mdb_rports) {
    if (vid < 0 || vid >= 65536) continue;
    const auto slot = static_cast<std::size_t>(vid);
    if (slot >= rports_by_vid.size()) rports_by_vid.resize(slot + 1);
    rports_by_vid[slot] = rports.swp;
  }
  const auto rports_of = [&](std::int64_t vid) -> std::span<const std::string> {
    if (vid >= 0 && vid < 65536) {
      const auto slot = static_cast<std::size_t>(vid);
      return slot < rports_by_vid.size() ? rports_by_vid[slot] : std::span<const std::string>();
    }
    const auto it = mdb.mdb_rports.find(vid);
    return it == mdb.mdb_rports.end() ? std::span<const std::string>() : it->second.swp;
  };

  // A listed port receives itself unless it is a bond or a VLAN
  // sub-interface of one, which receive on the bond's links. A port of the
  // first kind is remembered: its kind does not change while the listing is
  // read (the device caches only grow), so the next line that names it adds
  // it without resolving it again. A bond's links are read again each time.
  absl::flat_hash_set<std::string> plain_ports;
  const auto add_listed_port = [&](KernMdbEntry& entry, const std::string& port) {
    const BaseDev base = base_dev(port);
    if (*base.kind != "bond") {
      plain_ports.insert(port);
      entry.add_port(port);
      return;
    }
    const std::int64_t new_vlan = base.own_vlan ? base.vlan : -1;
    for (const auto& link : expand_bond(base.dev)) {
      entry.add_port(new_vlan == -1 ? link : util::dot_join(link, new_vlan));
    }
  };

  // Buffers reused from line to line: a large bridge lists tens of thousands.
  std::string port;
  std::string grp_mac;
  std::string key;
  // The kernel lists a group's ports one after another: a line of the same
  // VLAN and group as the line before it belongs to the same entry (the key
  // is formed from those two texts alone), found without forming it again.
  // Entries never move.
  KernMdbEntry* last_entry = nullptr;
  std::string_view last_vid;
  std::string_view last_grp_ip;
  for (const auto line : entry_lines) {
    const auto m = entry_re.match(line);
    // Groups by number: dev, port, grp_ip and (VLAN-aware) vid.
    if (!m || m->group(1) != orig_dev) continue;
    const std::string_view grp_ip = m->group(3);
    const std::string_view vid_text = vlan_filtering != 0 ? m->group(4) : std::string_view();
    bool created = false;
    std::int64_t vid = -1;
    if (last_entry == nullptr || grp_ip != last_grp_ip || vid_text != last_vid) {
      // Only IPv4 groups have a MAC of this form; IPv6 groups are not
      // compared. (The line before was IPv4: a line of the same group is.)
      if (util::contains(grp_ip, ":")) continue;
      if (vlan_filtering != 0) vid = util::parse_dec(vid_text);
      group_mac_into(grp_mac, grp_ip);
      util::dot_join_into(key, vid, grp_mac);
      const auto [it, inserted] = mdb.mdb_entries.try_emplace(key, vid, grp_mac);
      created = inserted;
      last_entry = &it->second;
      last_vid = vid_text;
      last_grp_ip = grp_ip;
      // Room for a group's usual ports and router ports at once.
      if (created) last_entry->swp.reserve(4);
    }
    KernMdbEntry& entry = *last_entry;
    port.assign(m->group(2));
    if (plain_ports.contains(port)) {
      entry.add_port(port);
    } else {
      add_listed_port(entry, port);
    }
    // The router ports depend on the VLAN alone, which is part of the key: an
    // entry listed before already holds every one of them.
    if (!created) continue;
    for (const auto& rp : rports_of(vid)) entry.add_port(rp);
  }
  return lookup(mdb);
}

}  // namespace grpaudit::kern
