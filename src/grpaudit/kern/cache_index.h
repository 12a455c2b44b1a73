#pragma once
// Indexes over the kernel caches and the front-panel port names, which the
// comparison asks for every interface of every route: a tree search or a
// scan per question would cost a large switch dearly.

#include <cstddef>
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "grpaudit/util/table_stamp.h"

namespace grpaudit::detail {

// A hash index over one of the kernel caches, maps from name to entry
// that only ever grow: the comparison asks them for every interface of every
// route. Values of a std::map stay where they are while their entry exists;
// the index is built anew whenever the map's size is not the one it knows.
template <typename V>
class CacheIndex {
 public:
  const V* find(const std::map<std::string, V>& cache, const std::string& name) {
    if (size_ != cache.size()) {
      index_.clear();
      for (const auto& [key, value] : cache) index_.emplace(key, &value);
      size_ = cache.size();
    }
    const auto it = index_.find(name);
    return it == index_.end() ? nullptr : it->second;
  }

  // Tells of an entry just added to `cache`, sparing a rebuild.
  void added(const std::map<std::string, V>& cache, const std::string& name, const V* value) {
    if (size_ + 1 != cache.size()) return;
    index_.emplace(name, value);
    size_ = cache.size();
  }

 private:
  std::size_t size_ = static_cast<std::size_t>(-1);
  std::unordered_map<std::string, const V*> index_;
};

class NameSetIndex {
 public:
  void sync(const std::vector<std::string>& names);
  bool contains(const std::string& name) const { return names_.contains(name); }

 private:
  TableStamp<std::string> stamp_;
  std::unordered_set<std::string> names_;
};

}  // namespace grpaudit::detail
