#pragma once
// Indexes for the first-match lookups over the tables the Asic reads once:
// the port map by SDK name and by Linux name, and the VLAN translations by
// port and either VLAN. A large switch asks these
// questions hundreds of thousands of times while it is read and compared; a
// scan per question makes that quadratic.
//
// An index holds positions into its table and answers exactly what a scan in
// table order would: the first entry that fits. It is built on first use and
// built anew when its table is no longer the one it was built from (replaced
// or resized); positions it returns are checked against the table by the caller.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "grpaudit/records/hw_records.h"
#include "grpaudit/util/table_stamp.h"

namespace grpaudit::detail {

class PortmapIndex {
 public:
  // Builds the index unless it was built from `portmap` (or `force`).
  void sync(const std::vector<PortmapEntry>& portmap, bool force = false);

  // Positions of every entry with SDK name `dport`, in table order; none: null.
  const std::vector<std::size_t>* by_dport(const std::string& dport) const;
  // Position of the first entry with Linux name `linux_port`, or -1.
  std::ptrdiff_t by_linux_port(const std::string& linux_port) const;

 private:
  TableStamp<PortmapEntry> stamp_;
  std::unordered_map<std::string, std::vector<std::size_t>> dport_;
  std::unordered_map<std::string, std::size_t> linux_port_;
};

// Positions by a pair of numbers, the first position given for a pair kept:
// an open-addressing table, so that a lookup reads one slot (the tables it
// indexes are asked for every copy of every replication group).
class PairIndex {
 public:
  void clear() {
    slots_.clear();
    count_ = 0;
  }
  // Records `pos` for (a, b) unless the pair has one already.
  void try_emplace(std::int64_t a, std::int64_t b, std::size_t pos);
  // The position recorded for (a, b), or -1.
  std::ptrdiff_t find(std::int64_t a, std::int64_t b) const;

 private:
  struct Slot {
    std::int64_t a = 0;
    std::int64_t b = 0;
    std::size_t pos = kEmpty;
  };
  static constexpr std::size_t kEmpty = static_cast<std::size_t>(-1);
  std::size_t home(std::int64_t a, std::int64_t b) const;
  void grow();

  std::vector<Slot> slots_;  // size a power of two, at most half used
  std::size_t count_ = 0;
};

class VlanXlateIndex {
 public:
  void sync(const std::vector<VlanXlate>& xlate, bool force = false);

  // Position of the first entry for (lport, ivid), respectively (lport, evid), or -1.
  std::ptrdiff_t by_ivid(std::int64_t lport, std::int64_t ivid) const;
  std::ptrdiff_t by_evid(std::int64_t lport, std::int64_t evid) const;

 private:
  TableStamp<VlanXlate> stamp_;
  PairIndex ivid_;
  PairIndex evid_;
};

}  // namespace grpaudit::detail
