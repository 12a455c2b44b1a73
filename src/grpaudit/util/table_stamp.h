#pragma once
// Which table an index was built from: an index over a vector is built anew
// when the vector is no longer the one it was built from.

#include <cstddef>
#include <vector>

namespace grpaudit::detail {

// Which table an index was built from.
template <typename T>
class TableStamp {
 public:
  bool matches(const std::vector<T>& table) const {
    return data_ == table.data() && size_ == table.size();
  }
  void set(const std::vector<T>& table) {
    data_ = table.data();
    size_ = table.size();
  }

 private:
  const T* data_ = nullptr;
  std::size_t size_ = static_cast<std::size_t>(-1);
};

}  // namespace grpaudit::detail
