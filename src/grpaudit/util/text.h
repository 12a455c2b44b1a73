#pragma once
// Splitting of SDK and kernel listings: lines and white-space separated words.
//
// White space is exactly the six ASCII characters space, \t, \n, \v, \f and \r;
// line breaks are \n, \r\n and \r. Every function returns views into the text
// it was given, so the text must outlive the result.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace grpaudit::util {

constexpr bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Lines of `text`, without their breaks. A final break yields no empty last
// line; empty text yields no lines.
std::vector<std::string_view> split_lines(std::string_view text);

// The same lines, one at a time, for listings too long to hold a vector of:
//   for (std::string_view line : Lines(text)) ...
class Lines {
 public:
  class iterator {
   public:
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    iterator() = default;
    std::string_view operator*() const { return line_; }
    iterator& operator++() {
      advance();
      return *this;
    }
    iterator operator++(int) {
      iterator old = *this;
      advance();
      return old;
    }
    bool operator==(const iterator& o) const {
      return done_ == o.done_ && (done_ || next_ == o.next_);
    }

   private:
    friend class Lines;
    explicit iterator(std::string_view text) : text_(text) { advance(); }
    void advance();
    std::string_view text_;
    std::string_view line_;
    std::size_t next_ = 0;                     // where the line after line_ starts
    std::size_t nl_ = std::string_view::npos;  // the next \n at or after next_, once found
    bool done_ = true;
  };

  explicit Lines(std::string_view text) : text_(text) {}
  iterator begin() const { return iterator(text_); }
  iterator end() const { return iterator(); }

 private:
  std::string_view text_;
};

// Words of `text` at runs of white space; never yields an empty word.
std::vector<std::string_view> split_ws(std::string_view text);
// The same into `words`, whose storage is reused from row to row.
void split_ws(std::string_view text, std::vector<std::string_view>& words);

// The first word of `text`, or an empty view when it holds none.
std::string_view first_word(std::string_view text);

// Pieces of `text` at every occurrence of `sep` (empty pieces kept).
std::vector<std::string_view> split_at(std::string_view text, std::string_view sep);
// The same into `pieces`, whose storage is reused from row to row.
void split_at(std::string_view text, std::string_view sep, std::vector<std::string_view>& pieces);

// `text` without leading and trailing white space.
std::string_view strip(std::string_view text);

bool contains(std::string_view text, std::string_view needle);

// "<a>.<b>": a port name and a VLAN ("swp3.100"), or a VLAN and a group MAC.
// The comparison makes one for nearly every copy of every route.
std::string dot_join(std::string_view a, std::int64_t b);
std::string dot_join(std::int64_t a, std::string_view b);
// The same into `out`, whose storage is reused.
void dot_join_into(std::string& out, std::int64_t a, std::string_view b);
void dot_join_into(std::string& out, std::string_view a, std::int64_t b);

// Byte-wise order of texts (as std::string's), compared in line: for sorting
// many short names, where a library call per comparison costs more than it.
inline bool bytes_less(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
  }
  return a.size() < b.size();
}

// `text` quoted for an error message, cut short when it is long.
std::string quote(std::string_view text);

}  // namespace grpaudit::util
