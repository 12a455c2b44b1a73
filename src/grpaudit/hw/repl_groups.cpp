#include "grpaudit/hw/repl_groups.h"

#include <cstdint>
#include <iterator>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include <absl/container/flat_hash_map.h>
#include <absl/container/node_hash_map.h>

#include "grpaudit/hw/fields.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/regex.h"
#include "grpaudit/util/text.h"

namespace grpaudit::hw {

namespace {

// What reading one listing asks of its context about ports and interfaces:
// a listing names a few hundred ports and some thousands of interfaces in
// hundreds of thousands of member lines, and every answer stays the same
// while the listing is read. A port's Linux name is asked once (a callback
// that throws is asked again next time); the interface tables are copied
// into hash maps for a whole listing.
class ContextMemo {
 public:
  // `whole_listing`: worth copies of the interface tables.
  ContextMemo(const ReplGroupContext& ctx, bool whole_listing) : ctx_(ctx) {
    if (!whole_listing) return;
    if (ctx.riot_enable) nhi_.emplace(ctx.l3_intf_nhi.begin(), ctx.l3_intf_nhi.end());
    intf_vlan_.emplace(ctx.l3_intfs.begin(), ctx.l3_intfs.end());
  }

  // The reference holds while the memo lives.
  const std::string& linux_name(const std::string& dport) {
    if (const auto it = names_.find(dport); it != names_.end()) return it->second;
    std::string name = ctx_.bcm2linux(dport);
    return names_.emplace(dport, std::move(name)).first->second;
  }

  // The interface a printed encap id stands for (with RIOT, a next-hop index
  // where the daemon knows one), and that interface's VLAN (-1: none).
  std::pair<std::int64_t, std::int64_t> intf_and_vlan(std::int64_t encap_id) const {
    std::int64_t intf = encap_id;
    if (ctx_.riot_enable)
      intf = nhi_ ? find_or(*nhi_, encap_id) : find_or(ctx_.l3_intf_nhi, encap_id);
    const std::int64_t vlan =
        intf_vlan_ ? find_or(*intf_vlan_, intf, -1) : find_or(ctx_.l3_intfs, intf, -1);
    return {intf, vlan};
  }

  // Kept from group to group by the reader.
  std::vector<Encap> l2_encaps;
  std::vector<Encap> l3_encaps;
  std::string dport;
  Words header;

 private:
  // `m`'s value under `key`, or `none` (the key itself by default).
  template <typename Map>
  static std::int64_t find_or(const Map& m, std::int64_t key) {
    return find_or(m, key, key);
  }
  template <typename Map>
  static std::int64_t find_or(const Map& m, std::int64_t key, std::int64_t none) {
    const auto it = m.find(key);
    return it == m.end() ? none : it->second;
  }

  const ReplGroupContext& ctx_;
  std::optional<absl::flat_hash_map<std::int64_t, std::int64_t>> nhi_;
  std::optional<absl::flat_hash_map<std::int64_t, std::int64_t>> intf_vlan_;
  absl::node_hash_map<std::string, std::string> names_;
};

// The group of one piece, or none for an empty piece or an L2 group.
std::optional<ReplicationGroup> read_repl_group(std::string_view piece, const ReplGroupContext& ctx,
                                                ContextMemo& memo) {
  static const util::Regex member_re(R"(\s+port (?P<port>\S+), encap id (?P<intf>[+-]?\d+))",
                                     util::Regex::Mode::kAnchored);
  // The groups of member_re by number.
  constexpr std::size_t kPort = 1;
  constexpr std::size_t kIntf = 2;
  const util::Lines group(piece);
  auto line = group.begin();
  // L2 groups carry bridged traffic only; routes never use them.
  if (line == group.end() || util::contains(*line, "L2")) return std::nullopt;
  Words& header = memo.header;
  util::split_ws(*line, header);
  const std::int64_t group_id = util::parse_hex(field_at(header, 0, *line));

  // Gathered in vectors kept from group to group, then moved into vectors
  // of their exact size: a group has two dozen members.
  std::vector<Encap>& l2_encaps = memo.l2_encaps;
  std::vector<Encap>& l3_encaps = memo.l3_encaps;
  std::string& dport = memo.dport;
  l2_encaps.clear();
  l3_encaps.clear();
  for (++line; line != group.end(); ++line) {
    const auto m = member_re.match(*line);
    if (!m) continue;
    dport.assign(m->group(kPort));
    if (dport == "cpu0") continue;
    std::int64_t intf = util::parse_dec(m->group(kIntf));
    if (intf == -1) {
      l2_encaps.emplace_back(memo.linux_name(dport), dport, -1, -1, -1);
      continue;
    }
    std::int64_t vlan = -1;
    std::tie(intf, vlan) = memo.intf_and_vlan(intf);
    const std::int64_t evid = ctx.ivid2evid(dport, vlan);
    l3_encaps.emplace_back(memo.linux_name(dport), dport, intf, vlan, evid);
  }
  const auto exact = [](std::vector<Encap>& from) {
    return std::vector<Encap>(std::make_move_iterator(from.begin()),
                              std::make_move_iterator(from.end()));
  };
  return ReplicationGroup(group_id, exact(l2_encaps), exact(l3_encaps));
}

// insert_or_assign, placing the group after the last node at once when its
// id is the highest so far (the listing gives groups in order of id).
void store_group(std::map<std::int64_t, ReplicationGroup>& groups, ReplicationGroup&& g) {
  const std::int64_t id = g.mcast_grp;
  if (groups.empty() || std::prev(groups.end())->first < id) {
    groups.emplace_hint(groups.end(), id, std::move(g));
  } else {
    groups.insert_or_assign(id, std::move(g));
  }
}

}  // namespace

void parse_multicast_show(std::string_view text, const ReplGroupContext& ctx,
                          std::map<std::int64_t, ReplicationGroup>& groups) {
  // Read first and stored together, so that the map's nodes lie side by side
  // rather than among the entries: the comparison looks up a group for every
  // route. Groups read before a failure are stored all the same.
  std::vector<ReplicationGroup> read;
  const auto store = [&] {
    for (auto& g : read) store_group(groups, std::move(g));
    read.clear();
  };
  ContextMemo memo(ctx, /*whole_listing=*/true);
  constexpr std::string_view kGroup = "Group";
  std::size_t start = text.find(kGroup);
  try {
    while (start != std::string_view::npos) {
      start += kGroup.size();
      const std::size_t next = text.find(kGroup, start);
      const std::size_t end = next == std::string_view::npos ? text.size() : next;
      if (auto g = read_repl_group(text.substr(start, end - start), ctx, memo))
        read.push_back(std::move(*g));
      start = next;
    }
  } catch (...) {
    store();
    throw;
  }
  store();
}

void parse_one_repl_group(std::string_view piece, const ReplGroupContext& ctx,
                          std::map<std::int64_t, ReplicationGroup>& groups) {
  ContextMemo memo(ctx, /*whole_listing=*/false);
  if (auto g = read_repl_group(piece, ctx, memo)) store_group(groups, std::move(*g));
}

bool repl_group_has_l3_intf(const std::map<std::int64_t, ReplicationGroup>& groups,
                            std::string_view group_id, std::string_view intf) {
  const auto it = groups.find(util::parse_hex(group_id));
  if (it == groups.end()) return false;
  const auto tail = [](std::string_view s) { return s.substr(s.empty() ? 0 : 1); };
  for (const auto& l3_encap : it->second.l3_encaps) {
    const std::string encap_id_str = std::to_string(l3_encap.intf);
    if (tail(encap_id_str) == tail(intf)) return true;
  }
  return false;
}

}  // namespace grpaudit::hw
