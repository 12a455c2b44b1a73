#pragma once
// Texts laid end to end in one buffer, each after its length: a compact list
// of short names that is read front to back, in a few cache lines rather
// than one heap block per name.
//
// A length below 255 takes one byte; a longer one is the byte 255 and then
// the length's eight bytes.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string_view>
#include <vector>

namespace grpaudit::util {

inline void append_to_run(std::vector<char>& run, std::string_view text) {
  if (text.size() < 255) {
    run.push_back(static_cast<char>(static_cast<unsigned char>(text.size())));
  } else {
    run.push_back(static_cast<char>(255));
    const std::uint64_t size = text.size();
    const char* bytes = reinterpret_cast<const char*>(&size);
    run.insert(run.end(), bytes, bytes + sizeof size);
  }
  run.insert(run.end(), text.begin(), text.end());
}

// The texts of run bytes [first, last), which append_to_run wrote.
class TextRun {
 public:
  class iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    iterator() = default;
    explicit iterator(const char* at) : at_(at) {}

    std::string_view operator*() const {
      const auto len = static_cast<unsigned char>(*at_);
      if (len < 255) return {at_ + 1, len};
      std::uint64_t size = 0;
      std::memcpy(&size, at_ + 1, sizeof size);
      return {at_ + 1 + sizeof size, static_cast<std::size_t>(size)};
    }
    iterator& operator++() {
      const std::string_view text = **this;
      at_ = text.data() + text.size();
      return *this;
    }
    iterator operator++(int) {
      iterator before = *this;
      ++*this;
      return before;
    }
    bool operator==(const iterator& other) const { return at_ == other.at_; }

   private:
    const char* at_ = nullptr;
  };

  TextRun() = default;
  TextRun(const char* first, const char* last) : first_(first), last_(last) {}

  iterator begin() const { return iterator(first_); }
  iterator end() const { return iterator(last_); }
  bool empty() const { return first_ == last_; }

 private:
  const char* first_ = nullptr;
  const char* last_ = nullptr;
};

}  // namespace grpaudit::util
