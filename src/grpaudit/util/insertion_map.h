#pragma once
// A map that iterates in the order its keys were first inserted, so a table
// read from the kernel prints in the kernel's own order. Elements are never
// moved or erased, so pointers and references to them stay valid.
//
// The index refers to the keys of the elements themselves (text keys are
// indexed as views of them) rather than holding copies: a bridge's database
// has an entry per VLAN and group, and a copy of each key would double what
// the table allocates.

#include <cstddef>
#include <deque>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>

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
  // A copy indexes its own elements.
  InsertionMap(const InsertionMap& other) : items_(other.items_) {
    index_.reserve(items_.size());
    for (std::size_t i = 0; i < items_.size(); ++i) index_.emplace(IndexKey(items_[i].first), i);
  }
  // Moving and swapping keep the elements where they are, so the views stay valid.
  InsertionMap(InsertionMap&&) = default;
  // By value and swap: the elements' const keys rule out element-wise assignment.
  InsertionMap& operator=(InsertionMap other) noexcept {
    swap(other);
    return *this;
  }
  void swap(InsertionMap& other) noexcept {
    items_.swap(other.items_);
    index_.swap(other.index_);
  }

  // Inserts V(args...) under `key` unless the key is present; an existing
  // element keeps its value and its place.
  template <typename... Args>
  std::pair<iterator, bool> try_emplace(const K& key, Args&&... args) {
    if (const auto pos = index_.find(IndexKey(key)); pos != index_.end()) {
      return {items_.begin() + static_cast<std::ptrdiff_t>(pos->second), false};
    }
    items_.emplace_back(std::piecewise_construct, std::forward_as_tuple(key),
                        std::forward_as_tuple(std::forward<Args>(args)...));
    try {
      index_.emplace(IndexKey(items_.back().first), items_.size() - 1);
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
    const auto pos = index_.find(IndexKey(key));
    return pos == index_.end() ? items_.end()
                               : items_.begin() + static_cast<std::ptrdiff_t>(pos->second);
  }
  const_iterator find(const K& key) const {
    const auto pos = index_.find(IndexKey(key));
    return pos == index_.end() ? items_.end()
                               : items_.begin() + static_cast<std::ptrdiff_t>(pos->second);
  }
  bool contains(const K& key) const { return index_.contains(IndexKey(key)); }
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
  using IndexKey = std::conditional_t<std::is_same_v<K, std::string>, std::string_view, K>;

  std::deque<value_type> items_;                     // insertion order; only ever appended to
  std::unordered_map<IndexKey, std::size_t> index_;  // key (of the element) to position in items_
};

}  // namespace grpaudit::util
