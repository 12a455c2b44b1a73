#pragma once
// The routes of one listing on their way into the route map.

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
// so that the nodes lie in memory in the order the comparison walks them. A
// map that already holds routes gets each route as insert_or_assign would.
//
// A reader calls flush() when it is done and also when reading fails, before
// the error goes on: the map then holds the routes read before the failure.
class RouteBatch {
 public:
  explicit RouteBatch(std::map<std::string, Hmroute>& mroutes) : mroutes_(mroutes) {}

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

 private:
  struct Row {
    std::string key;
    Hmroute route;
  };
  std::map<std::string, Hmroute>& mroutes_;
  std::vector<Row> rows_;
};

}  // namespace grpaudit::hw
