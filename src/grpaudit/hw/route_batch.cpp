#include "grpaudit/hw/route_batch.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <limits>
#include <tuple>
#include <utility>

#include "grpaudit/records/route_key.h"

namespace grpaudit::hw {

namespace {

// Bytes [at, at + 8) of `s` as a number that orders as the bytes do
// (unsigned, most significant first); bytes past the end count as zero.
std::uint64_t word_at(std::string_view s, std::size_t at) {
  if (at + 8 <= s.size()) {
    std::uint64_t w;
    std::memcpy(&w, s.data() + at, 8);
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
    return w;
  }
  std::uint64_t w = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    w <<= 8;
    if (at + i < s.size()) w |= static_cast<unsigned char>(s[at + i]);
  }
  return w;
}

}  // namespace

RouteBatch::RouteBatch(std::map<std::string, Hmroute>& mroutes)
    : mroutes_(mroutes), batched_(mroutes.empty()) {}

void RouteBatch::make_room(std::size_t bytes_read, std::size_t listing_bytes) {
  if (!batched_ || bytes_read == 0 || bytes_read >= listing_bytes) return;
  // A tenth more than the share read so far promises.
  const double scale = 1.1 * static_cast<double>(listing_bytes) / static_cast<double>(bytes_read);
  const auto routes = static_cast<std::size_t>(scale * static_cast<double>(rows_.size()));
  const auto bytes = static_cast<std::size_t>(scale * static_cast<double>(text_.size()));
  keys_.reserve(routes);
  rows_.reserve(routes);
  text_.reserve(bytes);
}

void RouteBatch::add(std::string_view vrf, std::string_view sip, std::string_view dip,
                     std::int64_t iif, std::int64_t mcast_grp) {
  constexpr std::size_t kMax = std::numeric_limits<std::uint32_t>::max();
  const std::size_t len = vrf.size() + sip.size() + dip.size() + 5;
  if (!batched_ || len >= kMax || rows_.size() >= kMax) {
    flush();
    mroutes_.insert_or_assign(
        make_route_key(vrf, sip, dip),
        Hmroute(std::string(sip), std::string(dip), iif, mcast_grp, std::string(vrf)));
    return;
  }
  const std::size_t off = text_.size();
  text_.append(vrf).append(", (").append(sip).append(1, ',').append(dip).append(1, ')');
  const std::string_view key = std::string_view(text_).substr(off);
  SortKey k{};
  for (std::size_t i = 0; i < std::size(k.head); ++i) k.head[i] = word_at(key, 8 * i);
  k.len = static_cast<std::uint32_t>(len);
  k.row = static_cast<std::uint32_t>(rows_.size());
  keys_.push_back(k);
  rows_.push_back(Row{off, static_cast<std::uint32_t>(len), static_cast<std::uint32_t>(vrf.size()),
                      static_cast<std::uint32_t>(sip.size()), iif, mcast_grp});
}

int RouteBatch::compare_tails(const SortKey& a, const SortKey& b) const {
  // The rest of the texts decides, then the length (a text that ends within
  // the head is equal to a longer one padded with zeros).
  if (a.len > kHead && b.len > kHead) {
    const std::string_view ta(text_.data() + rows_[a.row].off + kHead, a.len - kHead);
    const std::string_view tb(text_.data() + rows_[b.row].off + kHead, b.len - kHead);
    if (const int c = ta.compare(tb); c != 0) return c < 0 ? -1 : 1;
  }
  if (a.len != b.len) return a.len < b.len ? -1 : 1;
  return 0;
}

bool RouteBatch::key_less(const SortKey& a, const SortKey& b) const {
  if (a.head[0] != b.head[0]) return a.head[0] < b.head[0];
  if (a.head[1] != b.head[1]) return a.head[1] < b.head[1];
  if (a.head[2] != b.head[2]) return a.head[2] < b.head[2];
  const int c = compare_tails(a, b);
  // Routes of one key stay in the order read, so the last of them wins.
  return c != 0 ? c < 0 : a.row < b.row;
}

// Sorts by key_less: a radix sort on the head bytes, from the first, down to
// short runs, which a comparison sort finishes. Runs whose keys agree in a
// byte pass to the next at the cost of counting; keys that differ early
// (they do: in the addresses) are apart after a few passes without the
// mispredicted branches of comparisons.
void RouteBatch::sort_keys() {
  scratch_.resize(keys_.size());
  radix_sort(keys_.data(), scratch_.data(), keys_.size(), 0);
  std::vector<SortKey>().swap(scratch_);
}

void RouteBatch::radix_sort(SortKey* keys, SortKey* scratch, std::size_t n, std::size_t byte) {
  constexpr std::size_t kShortRun = 32;
  const auto digit = [](const SortKey& k, std::size_t b) {
    return static_cast<std::size_t>((k.head[b / 8] >> (56 - 8 * (b % 8))) & 0xff);
  };
  for (;;) {
    if (n <= kShortRun || byte >= kHead) {
      std::sort(keys, keys + n,
                [this](const SortKey& a, const SortKey& b) { return key_less(a, b); });
      return;
    }
    std::size_t count[256] = {};
    for (std::size_t i = 0; i < n; ++i) ++count[digit(keys[i], byte)];
    if (count[digit(keys[0], byte)] == n) {
      ++byte;
      continue;
    }
    std::size_t start[256];
    std::size_t at = 0;
    for (std::size_t d = 0; d < 256; ++d) {
      start[d] = at;
      at += count[d];
    }
    std::size_t next[256];
    std::copy(std::begin(start), std::end(start), std::begin(next));
    for (std::size_t i = 0; i < n; ++i) scratch[next[digit(keys[i], byte)]++] = keys[i];
    std::copy(scratch, scratch + n, keys);
    for (std::size_t d = 0; d < 256; ++d) {
      if (count[d] > 1) radix_sort(keys + start[d], scratch + start[d], count[d], byte + 1);
    }
    return;
  }
}

void RouteBatch::flush() {
  if (keys_.empty()) return;
  const bool append = mroutes_.empty();
  const auto same_head = [](const SortKey& a, const SortKey& b) {
    return a.head[0] == b.head[0] && a.head[1] == b.head[1] && a.head[2] == b.head[2];
  };
  sort_keys();
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (i + 1 < keys_.size() && same_head(keys_[i], keys_[i + 1]) &&
        compare_tails(keys_[i], keys_[i + 1]) == 0) {
      continue;
    }
    const Row& r = rows_[keys_[i].row];
    const std::string_view key(text_.data() + r.off, r.len);
    const std::string_view vrf = key.substr(0, r.vrf_len);
    const std::string_view sip = key.substr(r.vrf_len + 3, r.sip_len);
    const std::string_view dip =
        key.substr(r.vrf_len + 3 + r.sip_len + 1, r.len - r.vrf_len - r.sip_len - 5);
    // Into a map that was empty, in key order, each route goes after the
    // last node, built in place there. Otherwise (routes stored one by one
    // before) it is stored as insert_or_assign would.
    if (append) {
      mroutes_.emplace_hint(mroutes_.end(), std::piecewise_construct, std::forward_as_tuple(key),
                            std::forward_as_tuple(std::string(sip), std::string(dip), r.iif,
                                                  r.mcast_grp, std::string(vrf)));
    } else {
      mroutes_.insert_or_assign(std::string(key), Hmroute(std::string(sip), std::string(dip), r.iif,
                                                          r.mcast_grp, std::string(vrf)));
    }
  }
  keys_.clear();
  rows_.clear();
  text_.clear();
}

}  // namespace grpaudit::hw
