#include "grpaudit/hw/route_batch.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "grpaudit/records/route_key.h"

namespace grpaudit::hw {

void RouteBatch::add(std::string_view vrf, std::string_view sip, std::string_view dip,
                     std::int64_t iif, std::int64_t mcast_grp) {
  rows_.push_back(Row{make_route_key(vrf, sip, dip), Hmroute(std::string(sip), std::string(dip),
                                                             iif, mcast_grp, std::string(vrf))});
}

void RouteBatch::flush() {
  if (rows_.empty()) return;
  if (!mroutes_.empty()) {
    for (Row& row : rows_) mroutes_.insert_or_assign(std::move(row.key), std::move(row.route));
    rows_.clear();
    return;
  }
  // Key order, and among routes of one key the order read: the last stands.
  std::vector<std::size_t> order(rows_.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [this](std::size_t a, std::size_t b) { return rows_[a].key < rows_[b].key; });
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (i + 1 < order.size() && rows_[order[i]].key == rows_[order[i + 1]].key) continue;
    Row& row = rows_[order[i]];
    mroutes_.emplace_hint(mroutes_.end(), std::move(row.key), std::move(row.route));
  }
  rows_.clear();
}

}  // namespace grpaudit::hw
