#pragma once
// The routes of one listing on their way into the route map.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "grpaudit/records/hw_records.h"

namespace grpaudit::hw {

// Stores the routes a reader reads into `mroutes` as insert_or_assign in the
// order read would: a later route with the same key replaces an earlier one.
//
// A map that is empty at the start (the usual case: a listing is read once)
// is filled by flush() in key order, each node placed after the last one,
// instead of one search of the tree per route; the nodes then also lie in
// memory in the order the comparison walks them. A map that already holds
// routes gets each route as it is added.
//
// A reader calls flush() when it is done and also when reading fails, before
// the error goes on: the map then holds the routes read before the failure.
class RouteBatch {
 public:
  explicit RouteBatch(std::map<std::string, Hmroute>& mroutes);

  // A batch into `mroutes` for `read(batch)` to add to, flushed when `read`
  // returns and also when it throws, before the error goes on.
  template <typename Read>
  static void fill(std::map<std::string, Hmroute>& mroutes, Read&& read) {
    RouteBatch batch(mroutes);
    try {
      read(batch);
    } catch (...) {
      batch.flush();
      throw;
    }
    batch.flush();
  }

  void add(std::string_view vrf, std::string_view sip, std::string_view dip, std::int64_t iif,
           std::int64_t mcast_grp);

  void flush();

  // Called by a reader as it goes, with how much of its listing it has read:
  // once a few hundred routes are in, makes room for as many more as the
  // rest of the listing will likely hold, so that the batch is not copied
  // as it grows.
  void progress(std::size_t bytes_read, std::size_t listing_bytes) {
    if (rows_.size() == kSample) make_room(bytes_read, listing_bytes);
  }

 private:
  // One route: its key is text_[off, off + len), "<vrf>, (<sip>,<dip>)".
  struct Row {
    std::size_t off;
    std::uint32_t len;
    std::uint32_t vrf_len;
    std::uint32_t sip_len;
    std::int64_t iif;
    std::int64_t mcast_grp;
  };
  // What sorting a route needs: the first 24 bytes of its key as numbers
  // that order as the bytes do, so that most comparisons never read the text.
  struct SortKey {
    std::uint64_t head[3];
    std::uint32_t len;
    std::uint32_t row;  // position in rows_, the order read
  };
  static constexpr std::size_t kHead = sizeof(SortKey::head);

  // Routes added before the batch makes room for the rest.
  static constexpr std::size_t kSample = 512;
  void make_room(std::size_t bytes_read, std::size_t listing_bytes);

  // As the keys' texts compare (std::string's order), when their heads are equal.
  int compare_tails(const SortKey& a, const SortKey& b) const;
  // Key order, then the order read.
  bool key_less(const SortKey& a, const SortKey& b) const;
  void sort_keys();
  void radix_sort(SortKey* keys, SortKey* scratch, std::size_t n, std::size_t byte);

  std::map<std::string, Hmroute>& mroutes_;
  const bool batched_;
  std::string text_;
  std::vector<Row> rows_;
  std::vector<SortKey> keys_;
  std::vector<SortKey> scratch_;  // for sorting
};

}  // namespace grpaudit::hw
