#pragma once
// A table from interface names to values, for answers asked for again and
// again (every route asks about each of its interfaces). Names of up to 23
// characters, which is every Linux interface name, are kept in the index
// itself, in slots of half a cache line, so a lookup reads one line of the
// index and then its value, the values side by side without their names;
// values never move, so references to them stay valid for the table's life.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace grpaudit::util {

template <typename V>
class NameTable {
 public:
  // The value under `name`, made (value-initialized) when there is none.
  V& operator[](std::string_view name) {
    const std::uint64_t hash = std::hash<std::string_view>{}(name);
    if (!slots_.empty()) {
      const std::size_t mask = slots_.size() - 1;
      for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.item == kEmpty) break;
        if (slot.hash == static_cast<std::uint32_t>(hash) && holds(slot, name))
          return values_[slot.item];
      }
    }
    if (values_.size() >= kEmpty) throw std::length_error("name table full");
    // Grown, and the name stored, before the value is added, so that a
    // failure changes nothing.
    if (2 * (values_.size() + 1) > slots_.size()) grow();
    if (name.size() > kInline) long_names_.emplace(values_.size(), name);
    try {
      values_.emplace_back();
    } catch (...) {
      long_names_.erase(values_.size());
      throw;
    }
    place(hash, static_cast<std::uint32_t>(values_.size() - 1), name);
    return values_.back();
  }

  std::size_t size() const { return values_.size(); }

 private:
  static constexpr std::uint32_t kEmpty = UINT32_MAX;
  static constexpr std::size_t kInline = 23;
  struct alignas(32) Slot {
    std::uint32_t hash = 0;  // the low half of the name's
    std::uint32_t item = kEmpty;
    std::uint8_t len = 0;  // of an inline name; above kInline: kept in long_names_ only
    char text[kInline] = {};
  };
  static_assert(sizeof(Slot) == 32);

  bool holds(const Slot& slot, std::string_view name) const {
    if (slot.len <= kInline) {
      return slot.len == name.size() && std::memcmp(slot.text, name.data(), name.size()) == 0;
    }
    if (name.size() <= kInline) return false;
    const auto it = long_names_.find(slot.item);
    return it != long_names_.end() && it->second == name;
  }
  void place(std::uint64_t hash, std::uint32_t item, std::string_view name) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].item != kEmpty) i = (i + 1) & mask;
    Slot& slot = slots_[i];
    slot.hash = static_cast<std::uint32_t>(hash);
    slot.item = item;
    if (name.size() <= kInline) {
      slot.len = static_cast<std::uint8_t>(name.size());
      std::memcpy(slot.text, name.data(), name.size());
    } else {
      slot.len = kInline + 1;
    }
  }
  void grow() {
    std::vector<Slot> old(slots_.empty() ? 64 : 2 * slots_.size());
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.item == kEmpty) continue;
      // Slots keep half of the hash; the whole one is the name's.
      const std::string_view name =
          slot.len <= kInline ? std::string_view(slot.text, slot.len) : long_names_.at(slot.item);
      std::size_t i = std::hash<std::string_view>{}(name)&mask;
      while (slots_[i].item != kEmpty) i = (i + 1) & mask;
      slots_[i] = slot;
    }
  }

  std::deque<V> values_;                                       // never moved
  std::unordered_map<std::uint32_t, std::string> long_names_;  // by item, those above kInline
  std::vector<Slot> slots_;  // open addressing, at most half full; size a power of two
};

}  // namespace grpaudit::util
