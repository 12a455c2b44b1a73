#pragma once
// A map that iterates in the order its keys were first inserted, so a table
// read from the kernel prints in the kernel's own order. Elements are never
// moved or erased, so pointers and references to them stay valid.

#include <cstddef>
#include <deque>
#include <iterator>
#include <stdexcept>
#include <tuple>
#include <utility>

#include <absl/container/flat_hash_map.h>

namespace grpaudit::util {

template <typename K, typename V>
class InsertionMap {
 public:
  using key_type = K;
  using mapped_type = V;
  using value_type = std::pair<const K, V>;
  using iterator = typename std::deque<value_type>::iterator;
  using const_iterator = typename std::deque<value_type>::const_iterator;

  InsertionMap() = default;
  InsertionMap(const InsertionMap& other) : items_(other.items_) { reindex(); }
  InsertionMap(InsertionMap&& other) noexcept = default;
  // By value and swap: the elements' const keys rule out element-wise assignment.
  InsertionMap& operator=(InsertionMap other) noexcept {
    swap(other);
    return *this;
  }
  void swap(InsertionMap& other) noexcept {
    items_.swap(other.items_);
    positions_.swap(other.positions_);
  }

  // Inserts V(args...) under `key` unless the key is present; an existing
  // element keeps its value and its place.
  template <typename... Args>
  std::pair<iterator, bool> try_emplace(const K& key, Args&&... args) {
    if (const auto it = positions_.find(key); it != positions_.end())
      return {at_pos(it->second), false};
    items_.emplace_back(std::piecewise_construct, std::forward_as_tuple(key),
                        std::forward_as_tuple(std::forward<Args>(args)...));
    try {
      positions_.emplace(key, items_.size() - 1);
    } catch (...) {
      items_.pop_back();
      throw;
    }
    return {std::prev(items_.end()), true};
  }
  std::pair<iterator, bool> emplace(const K& key, V value) {
    return try_emplace(key, std::move(value));
  }

  iterator find(const K& key) {
    const auto it = positions_.find(key);
    return it == positions_.end() ? items_.end() : at_pos(it->second);
  }
  const_iterator find(const K& key) const {
    const auto it = positions_.find(key);
    return it == positions_.end() ? items_.end()
                                  : items_.begin() + static_cast<std::ptrdiff_t>(it->second);
  }
  bool contains(const K& key) const { return positions_.contains(key); }
  V& at(const K& key) {
    const auto it = find(key);
    if (it == items_.end()) throw std::out_of_range("no such key");
    return it->second;
  }
  const V& at(const K& key) const {
    const auto it = find(key);
    if (it == items_.end()) throw std::out_of_range("no such key");
    return it->second;
  }

  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  iterator begin() { return items_.begin(); }
  iterator end() { return items_.end(); }
  const_iterator begin() const { return items_.begin(); }
  const_iterator end() const { return items_.end(); }

 private:
  iterator at_pos(std::size_t pos) { return items_.begin() + static_cast<std::ptrdiff_t>(pos); }
  void reindex() {
    positions_.clear();
    for (std::size_t i = 0; i < items_.size(); ++i) positions_.emplace(items_[i].first, i);
  }

  std::deque<value_type> items_;                   // insertion order; only appended to
  absl::flat_hash_map<K, std::size_t> positions_;  // each key's place in items_
};

}  // namespace grpaudit::util
