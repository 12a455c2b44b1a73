#include "grpaudit/kern/cache_index.h"

namespace grpaudit::detail {

void NameSetIndex::sync(const std::vector<std::string>& names) {
  if (stamp_.matches(names)) return;
  names_.clear();
  names_.insert(names.begin(), names.end());
  stamp_.set(names);
}

}  // namespace grpaudit::detail
