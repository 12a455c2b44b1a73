#pragma once
// A map that iterates in the order its keys were first inserted, so a table
// read from the kernel prints in the kernel's own order. Elements are never
// moved or erased, so pointers and references to them stay valid.
//
// The index is an open-addressing table of positions into the elements (and
// the keys' hashes), so a key is stored once and an insertion allocates no
// node: a bridge's database has an entry per VLAN and group.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <tuple>
#include <utility>
#include <vector>

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
  InsertionMap(const InsertionMap&) = default;
  InsertionMap(InsertionMap&&) = default;
  // By value and swap: the elements' const keys rule out element-wise assignment.
  InsertionMap& operator=(InsertionMap other) noexcept {
    swap(other);
    return *this;
  }
  void swap(InsertionMap& other) noexcept {
    items_.swap(other.items_);
    slots_.swap(other.slots_);
  }

  // Inserts V(args...) under `key` unless the key is present; an existing
  // element keeps its value and its place.
  template <typename... Args>
  std::pair<iterator, bool> try_emplace(const K& key, Args&&... args) {
    const std::size_t hash = std::hash<K>{}(key);
    if (const std::size_t pos = lookup(key, hash); pos != kNone) return {at_pos(pos), false};
    // Grown before the element is added, so that a failure changes nothing.
    if (items_.size() >= kEmpty) throw std::length_error("insertion map is full");
    if (2 * (items_.size() + 1) > slots_.size()) grow();
    items_.emplace_back(std::piecewise_construct, std::forward_as_tuple(key),
                        std::forward_as_tuple(std::forward<Args>(args)...));
    place(static_cast<std::uint32_t>(hash), static_cast<std::uint32_t>(items_.size() - 1));
    return {std::prev(items_.end()), true};
  }
  std::pair<iterator, bool> emplace(const K& key, V value) {
    return try_emplace(key, std::move(value));
  }

  iterator find(const K& key) {
    const std::size_t pos = lookup(key, std::hash<K>{}(key));
    return pos == kNone ? items_.end() : at_pos(pos);
  }
  const_iterator find(const K& key) const {
    const std::size_t pos = lookup(key, std::hash<K>{}(key));
    return pos == kNone ? items_.end() : items_.begin() + static_cast<std::ptrdiff_t>(pos);
  }
  bool contains(const K& key) const { return lookup(key, std::hash<K>{}(key)) != kNone; }
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
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  // Half a hash and a position in eight bytes: the slots of a large table
  // then take half the cache lines. Positions are counted in 32 bits (an
  // insertion beyond that fails before anything changes).
  static constexpr std::uint32_t kEmpty = static_cast<std::uint32_t>(-1);
  struct Slot {
    std::uint32_t hash = 0;
    std::uint32_t pos = kEmpty;
  };

  iterator at_pos(std::size_t pos) { return items_.begin() + static_cast<std::ptrdiff_t>(pos); }

  // Position of the element with `key`, or kNone.
  std::size_t lookup(const K& key, std::size_t hash) const {
    if (slots_.empty()) return kNone;
    const std::size_t mask = slots_.size() - 1;
    const auto half = static_cast<std::uint32_t>(hash);
    for (std::size_t i = half & mask;; i = (i + 1) & mask) {
      const Slot& slot = slots_[i];
      if (slot.pos == kEmpty) return kNone;
      if (slot.hash == half && slot.pos < items_.size() && items_[slot.pos].first == key) {
        return slot.pos;
      }
    }
  }
  // Takes a free slot for the element at `pos`; the table is never full.
  void place(std::uint32_t hash, std::uint32_t pos) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].pos != kEmpty) i = (i + 1) & mask;
    slots_[i] = Slot{hash, pos};
  }
  // Doubles the table (at least 16 slots) and places every element again.
  // The half hash picks the slot, in lookups as in placing, so the two
  // always agree.
  void grow() {
    std::vector<Slot> old(std::max<std::size_t>(16, 2 * slots_.size()));
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.pos != kEmpty) place(slot.hash, slot.pos);
    }
  }

  std::deque<value_type> items_;  // insertion order; only ever appended to
  std::vector<Slot> slots_;       // open addressing, at most half full; size a power of two
};

}  // namespace grpaudit::util
