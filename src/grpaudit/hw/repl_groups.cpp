#include "grpaudit/hw/repl_groups.h"

#include <iterator>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "grpaudit/asic/asic.h"
#include "grpaudit/hw/fields.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/regex.h"
#include "grpaudit/util/text.h"

namespace grpaudit::hw {

namespace {

// What reading one listing asks of its context about ports and interfaces:
// a listing names a few hundred ports and some thousands of interfaces in
// hundreds of thousands of member lines, and every answer stays the same
// while the listing is read. A port's Linux name is asked once; a callback
// that throws is asked again next time.
class ContextMemo {
 public:
  // `whole_listing`: worth hash copies of the interface tables, as a search
  // of their trees per member line costs a cache miss per level.
  ContextMemo(const ReplGroupContext& ctx, bool whole_listing)
      : ctx_(ctx), indexed_(whole_listing) {
    if (!indexed_) return;
    nhi_.reserve(ctx.l3_intf_nhi.size());
    nhi_.insert(ctx.l3_intf_nhi.begin(), ctx.l3_intf_nhi.end());
    intf_vlan_.reserve(ctx.l3_intfs.size());
    intf_vlan_.insert(ctx.l3_intfs.begin(), ctx.l3_intfs.end());
  }

  const std::string& linux_name(const std::string& dport) {
    if (const auto it = names_.find(dport); it != names_.end()) return it->second;
    return names_.emplace(dport, ctx_.bcm2linux(dport)).first->second;
  }

  // The interface a printed encap id stands for (with RIOT, a next-hop index
  // where the daemon knows one).
  std::int64_t intf(std::int64_t encap_id) const {
    if (!ctx_.riot_enable) return encap_id;
    return indexed_ ? find_or(nhi_, encap_id, encap_id)
                    : find_or(ctx_.l3_intf_nhi, encap_id, encap_id);
  }

  std::int64_t vlan_of(std::int64_t intf) const {
    return indexed_ ? find_or(intf_vlan_, intf, -1) : find_or(ctx_.l3_intfs, intf, -1);
  }

 private:
  template <typename Map>
  static std::int64_t find_or(const Map& m, std::int64_t key, std::int64_t none) {
    const auto it = m.find(key);
    return it == m.end() ? none : it->second;
  }

  const ReplGroupContext& ctx_;
  const bool indexed_;
  std::unordered_map<std::int64_t, std::int64_t> nhi_;
  std::unordered_map<std::int64_t, std::int64_t> intf_vlan_;
  std::unordered_map<std::string, std::string> names_;  // Linux names by SDK port
};

// The group of one piece, or none for an empty piece or an L2 group.
std::optional<ReplicationGroup> read_repl_group(std::string_view piece, const ReplGroupContext& ctx,
                                                ContextMemo& memo) {
  static const util::Regex member_re(R"(\s+port (?P<port>\S+), encap id (?P<intf>[+-]?\d+))",
                                     util::Regex::Mode::kAnchored);
  const util::Lines group(piece);
  auto line = group.begin();
  // L2 groups carry bridged traffic only; routes never use them.
  if (line == group.end() || util::contains(*line, "L2")) return std::nullopt;
  const std::int64_t group_id = util::parse_hex(field_at(util::split_ws(*line), 0, *line));

  // Gathered in vectors kept from group to group, then moved into vectors
  // of their exact size: a group has two dozen members.
  static thread_local std::vector<Encap> l2_encaps;
  static thread_local std::vector<Encap> l3_encaps;
  l2_encaps.clear();
  l3_encaps.clear();
  for (++line; line != group.end(); ++line) {
    const auto m = member_re.match(*line);
    if (!m) continue;
    const std::string dport((*m)["port"]);
    if (dport == "cpu0") continue;
    std::int64_t intf = util::parse_dec((*m)["intf"]);
    if (intf == -1) {
      l2_encaps.emplace_back(memo.linux_name(dport), dport, -1, -1, -1);
      continue;
    }
    intf = memo.intf(intf);
    const std::int64_t vlan = memo.vlan_of(intf);
    const std::int64_t evid = ctx.ivid2evid(dport, vlan);
    l3_encaps.emplace_back(memo.linux_name(dport), dport, intf, vlan, evid);
  }
  const auto exact = [](std::vector<Encap>& from) {
    return std::vector<Encap>(std::make_move_iterator(from.begin()),
                              std::make_move_iterator(from.end()));
  };
  return ReplicationGroup(group_id, exact(l2_encaps), exact(l3_encaps));
}

}  // namespace

void parse_multicast_show(std::string_view text, const ReplGroupContext& ctx,
                          std::map<std::int64_t, ReplicationGroup>& groups) {
  // Read first and stored together, so that the map's nodes lie side by side
  // rather than among the entries: the comparison looks up a group for every
  // route. Groups read before a failure are stored all the same.
  std::vector<ReplicationGroup> read;
  const auto store = [&] {
    for (auto& g : read) {
      const std::int64_t id = g.mcast_grp;
      groups.insert_or_assign(id, std::move(g));
    }
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
  if (auto g = read_repl_group(piece, ctx, memo)) {
    const std::int64_t id = g->mcast_grp;
    groups.insert_or_assign(id, std::move(*g));
  }
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

namespace grpaudit {

namespace {

hw::ReplGroupContext repl_group_context(Asic& asic) {
  return hw::ReplGroupContext{
      asic.riot_enable,
      asic.l3_intf_nhi,
      asic.l3_intfs,
      [&asic](const std::string& dport) { return asic.pt->bcm2linux(dport); },
      [&asic](const std::string& dport, std::int64_t ivid) { return asic._ivid2evid(dport, ivid); },
  };
}

}  // namespace

void Asic::_parse_multicast_repln_groups() {
  hw::parse_multicast_show(*sdk_run("multicast show", "multicast show"), repl_group_context(*this),
                           replication_groups);
}

void Asic::_parse_one_multicast_repln_group(std::string_view dispStr) {
  hw::parse_one_repl_group(dispStr, repl_group_context(*this), replication_groups);
}

std::optional<std::string> Asic::get_repl_group_entry(const std::string& group_id,
                                                      const std::string& intf) const {
  if (!hw::repl_group_has_l3_intf(replication_groups, group_id, intf)) return std::nullopt;
  return intf;
}

std::optional<std::int64_t> Asic::get_repl_group_entry(const std::string& group_id,
                                                       std::int64_t intf) const {
  if (!hw::repl_group_has_l3_intf(replication_groups, group_id, std::to_string(intf))) {
    return std::nullopt;
  }
  return intf;
}

}  // namespace grpaudit
