#include "grpaudit/hw/repl_groups.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <iterator>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "grpaudit/hw/fields.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/regex.h"
#include "grpaudit/util/text.h"

namespace grpaudit::hw {

namespace {

// `m`'s value under `key`, or `none`.
std::int64_t find_or(const std::map<std::int64_t, std::int64_t>& m, std::int64_t key,
                     std::int64_t none) {
  const auto it = m.find(key);
  return it == m.end() ? none : it->second;
}

// The position of id `key` in an array over ids from `first`; wraps to a
// huge value below `first`, which every bounds check then rejects.
std::uint64_t offset_from(std::int64_t first, std::int64_t key) {
  return static_cast<std::uint64_t>(key) - static_cast<std::uint64_t>(first);
}

// An interface table read once per listing and looked up for every member
// line: an array over the range of its ids where they lie close together
// (they are numbered in blocks), otherwise its ids in order for a binary
// search. Either costs a cache miss or two where a search of the tree costs
// one per level.
class FlatTable {
 public:
  explicit FlatTable(const std::map<std::int64_t, std::int64_t>& m) {
    if (m.empty()) return;
    first_ = m.begin()->first;
    const std::uint64_t span = offset_from(first_, std::prev(m.end())->first);
    if (span < 4 * static_cast<std::uint64_t>(m.size()) + 64) {
      dense_ = true;
      present_.assign(span + 1, false);
      values_.assign(span + 1, 0);
      for (const auto& [k, v] : m) {
        const std::uint64_t i = offset_from(first_, k);
        present_[i] = true;
        values_[i] = v;
      }
      return;
    }
    keys_.reserve(m.size());
    values_.reserve(m.size());
    for (const auto& [k, v] : m) {
      keys_.push_back(k);
      values_.push_back(v);
    }
  }

  std::int64_t find_or(std::int64_t key, std::int64_t none) const {
    if (dense_) {
      const std::uint64_t i = offset_from(first_, key);
      return i < present_.size() && present_[i] ? values_[i] : none;
    }
    const auto it = std::lower_bound(keys_.begin(), keys_.end(), key);
    return it == keys_.end() || *it != key ? none : values_[it - keys_.begin()];
  }

 private:
  bool dense_ = false;
  std::int64_t first_ = 0;
  std::vector<bool> present_;         // dense: whether first_ + i is an id
  std::vector<std::int64_t> keys_;    // sparse: the ids in order
  std::vector<std::int64_t> values_;  // by position in the range, or of keys_
};

// For a whole listing, the interface and the VLAN of every encap id a
// routed copy may print, side by side: a copy asks both, and each table,
// read at random, outgrows the cache on a large switch. Made only where the
// ids of both tables lie close together; an id outside them is its own
// interface, without a VLAN.
class CopyInterfaces {
 public:
  CopyInterfaces(const std::map<std::int64_t, std::int64_t>& nhi,
                 const std::map<std::int64_t, std::int64_t>& intfs, bool riot) {
    const auto* ids = riot ? &nhi : nullptr;
    if (intfs.empty() && (ids == nullptr || ids->empty())) return;
    std::int64_t first = INT64_MAX;
    std::int64_t last = INT64_MIN;
    for (const auto* m : {ids, &intfs}) {
      if (m == nullptr || m->empty()) continue;
      first = std::min(first, m->begin()->first);
      last = std::max(last, std::prev(m->end())->first);
    }
    const std::uint64_t count = intfs.size() + (ids == nullptr ? 0 : ids->size());
    const std::uint64_t span = offset_from(first, last);
    if (span >= 4 * count + 64) return;
    first_ = first;
    present_.assign(span + 1, false);
    values_.assign(span + 1, Copy{});
    for (const auto* m : {ids, &intfs}) {
      if (m == nullptr) continue;
      for (const auto& entry : *m) {
        const std::int64_t encap_id = entry.first;
        const std::int64_t intf = riot ? find_or(nhi, encap_id, encap_id) : encap_id;
        const std::uint64_t i = offset_from(first_, encap_id);
        present_[i] = true;
        values_[i] = Copy{intf, find_or(intfs, intf, -1)};
      }
    }
    made_ = true;
  }

  bool made() const { return made_; }

  // The interface and its VLAN for `encap_id`.
  std::pair<std::int64_t, std::int64_t> at(std::int64_t encap_id) const {
    const std::uint64_t i = offset_from(first_, encap_id);
    if (i < present_.size() && present_[i]) return {values_[i].intf, values_[i].vlan};
    return {encap_id, -1};
  }

 private:
  struct Copy {
    std::int64_t intf = 0;
    std::int64_t vlan = -1;
  };
  bool made_ = false;
  std::int64_t first_ = 0;
  std::vector<bool> present_;
  std::vector<Copy> values_;
};

// What reading one listing asks of its context about ports and interfaces:
// a listing names a few hundred ports and some thousands of interfaces in
// hundreds of thousands of member lines, and every answer stays the same
// while the listing is read. A port's Linux name is asked once; a callback
// that throws is asked again next time.
class ContextMemo {
 public:
  // `whole_listing`: worth flat copies of the interface tables.
  ContextMemo(const ReplGroupContext& ctx, bool whole_listing)
      : ctx_(ctx), indexed_(whole_listing) {
    if (!indexed_) return;
    copies_.emplace(ctx.l3_intf_nhi, ctx.l3_intfs, ctx.riot_enable);
    if (copies_->made()) return;
    nhi_.emplace(ctx.l3_intf_nhi);
    intf_vlan_.emplace(ctx.l3_intfs);
  }

  // The reference holds until the next call.
  const std::string& linux_name(const std::string& dport) {
    if (slots_.empty()) slots_.resize(16);
    std::size_t i = slot_of(dport);
    if (slots_[i].used) return slots_[i].name;
    std::string name = ctx_.bcm2linux(dport);
    if (2 * (count_ + 1) > slots_.size()) {
      grow();
      i = slot_of(dport);
    }
    Slot& slot = slots_[i];
    slot.port = dport;
    slot.name = std::move(name);
    slot.used = true;
    ++count_;
    return slot.name;
  }

  // Kept from group to group by the reader.
  std::vector<Encap> l2_encaps;
  std::vector<Encap> l3_encaps;
  std::string dport;
  Words header;

  // The interface a printed encap id stands for (with RIOT, a next-hop index
  // where the daemon knows one), and that interface's VLAN (-1: none).
  std::pair<std::int64_t, std::int64_t> intf_and_vlan(std::int64_t encap_id) const {
    if (copies_ && copies_->made()) return copies_->at(encap_id);
    const std::int64_t intf = this->intf(encap_id);
    return {intf, vlan_of(intf)};
  }

 private:
  std::int64_t intf(std::int64_t encap_id) const {
    if (!ctx_.riot_enable) return encap_id;
    return nhi_ ? nhi_->find_or(encap_id, encap_id) : find_or(ctx_.l3_intf_nhi, encap_id, encap_id);
  }

  std::int64_t vlan_of(std::int64_t intf) const {
    return intf_vlan_ ? intf_vlan_->find_or(intf, -1) : find_or(ctx_.l3_intfs, intf, -1);
  }

  // Linux names by SDK port: an open-addressed table with a hash cheaper
  // than the standard one, as every member line asks.
  struct Slot {
    std::string port;
    std::string name;
    bool used = false;
  };

  static std::uint64_t hash(std::string_view s) {
    std::uint64_t h = 14695981039346656037ULL;  // FNV-1a
    for (const char c : s) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    return h ^ (h >> 29);
  }

  // The slot of `port`, or the free slot where it would go.
  std::size_t slot_of(std::string_view port) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = static_cast<std::size_t>(hash(port)) & mask;
    while (slots_[i].used && slots_[i].port != port) i = (i + 1) & mask;
    return i;
  }

  void grow() {
    std::vector<Slot> old(2 * slots_.size());
    old.swap(slots_);
    for (Slot& s : old) {
      if (s.used) slots_[slot_of(s.port)] = std::move(s);
    }
  }

  const ReplGroupContext& ctx_;
  const bool indexed_;
  std::optional<CopyInterfaces> copies_;
  std::optional<FlatTable> nhi_;
  std::optional<FlatTable> intf_vlan_;
  std::vector<Slot> slots_;  // size a power of two, at most half used
  std::size_t count_ = 0;
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
