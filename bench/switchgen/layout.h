#pragma once
// How a generated switch prints its listings.
//
// The default layout is the one the generator has always printed. Any other
// prints the same switch as another SDK release or kernel might: columns in
// another order wherever a reader finds them by their header word, unknown
// columns and fields before, between and after the known ones, tabs or runs
// of blanks between words, "\r\n" or "\r" line ends, blank and trailing lines
// where the reader skips them, JSON spaced out with its members in another
// order. Every choice stays within what the readers rely on, so every layout
// of a switch must check and dump exactly as the default one does.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace grpaudit::switchgen {

class Layout {
 public:
  // Seed 0 is the default layout; every other seed picks its own choices.
  explicit Layout(std::uint64_t seed);

  bool is_default() const { return seed_ == 0; }

  // A number below `n` (n > 0), from the layout's own sequence; 0 in the
  // default layout.
  std::size_t below(std::size_t n);
  // True about once in `n` times; never in the default layout.
  bool one_in(std::size_t n) { return !is_default() && below(n) == 0; }

  // White space between two words: a blank in the default layout, else a
  // run of blanks and tabs.
  std::string_view gap();

  // What a reader skips, or a line of a listing's own, as a listing puts it.
  struct Lines {
    std::size_t head = 0;  // leading lines that stay as they are, nothing among them
    bool blanks = false;   // blank lines (possibly of blanks and tabs) may stand among the rest
    std::vector<std::string> trailer = {};  // lines the listing may end with
    std::vector<std::string> banner = {};   // lines the listing may begin with
  };
  // `text`, written with "\n" line ends, in this layout's line ends, with
  // blank, trailing and leading lines as `lines` allows; with or without a
  // final line end. The default layout returns it as it is.
  std::string lines(std::string text, const Lines& lines);

  // A JSON document with its object members in another order and spaced
  // out (or packed) another way; as it is in the default layout.
  std::string json(const std::string& text);

  // `items` in another order; as they are in the default layout.
  template <typename T>
  void shuffle(std::vector<T>& items) {
    if (is_default()) return;
    for (std::size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[below(i)]);
  }

 private:
  std::uint64_t next();

  std::uint64_t seed_;
  std::uint64_t state_;
  std::string eol_;
};

// A listing of titled columns, one row per line, whose reader splits rows at
// white space. Columns are given as the default layout prints them: each
// title and each value with the padding that follows it.
class Table {
 public:
  struct Column {
    std::string title;  // "" for a column that has no title (a row's leading name)
    // A column never comes before one of a lower rank: ranks keep columns
    // that a reader finds by position, or whose title is longer than its
    // value, where the reader expects them.
    int rank = 0;
  };
  enum class Extras {
    kAnywhere,  // unknown one-word columns anywhere after the untitled ones
    kAtEnd,     // only after the last column
  };

  Table(Layout& layout, std::vector<Column> columns, Extras extras);

  // The header line, without its line end.
  std::string header();
  // Appends one row, `values` in the order of the columns given, and "\n".
  void row(std::string& out, const std::vector<std::string>& values);

  // Position of the first header word `word` in this layout, or -1.
  std::int64_t word_position(std::string_view word) const;

 private:
  // One column as printed: a column given (its index) or an unknown one.
  struct Printed {
    std::size_t given;  // index into columns_, or kExtra
    std::string title;
  };
  static constexpr std::size_t kExtra = static_cast<std::size_t>(-1);

  Layout& layout_;
  std::vector<Column> columns_;
  std::vector<Printed> printed_;
};

}  // namespace grpaudit::switchgen
