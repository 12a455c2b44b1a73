#include "layout.h"

#include <algorithm>
#include <iterator>
#include <nlohmann/json.hpp>
#include <utility>

#include "grpaudit/util/text.h"

namespace grpaudit::switchgen {
namespace {

// Unknown columns: one-word titles that no reader looks for, and one-word values.
constexpr std::string_view kExtraTitles[] = {"Entry", "RPE", "HIT", "CLASS",
                                             "MOD",   "Age", "Cnt", "Flags"};
constexpr std::string_view kExtraValues[] = {"0", "1", "y", "n", "-", "0x0"};

}  // namespace

Layout::Layout(std::uint64_t seed) : seed_(seed), state_(seed ^ 0x6c61796f7574ULL) {}

std::uint64_t Layout::next() {
  // splitmix64, as the switch's own choices.
  std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

std::size_t Layout::below(std::size_t n) {
  return is_default() ? 0 : static_cast<std::size_t>(next() % n);
}

std::string_view Layout::gap() {
  static constexpr std::string_view kGaps[] = {" ", "  ", "\t", " \t", "\t\t", "     "};
  return is_default() ? " " : kGaps[below(std::size(kGaps))];
}

std::string Layout::lines(std::string text, const Lines& rules) {
  if (is_default()) return text;
  static constexpr std::string_view kEols[] = {"\n", "\r\n", "\r"};
  static constexpr std::string_view kBlanks[] = {"", "", " ", "\t ", "   "};
  const std::string_view eol = kEols[below(std::size(kEols))];
  std::vector<std::string_view> out;
  const auto blank = [&] { out.push_back(kBlanks[below(std::size(kBlanks))]); };
  if (!rules.banner.empty() && one_in(2)) {
    out.insert(out.end(), rules.banner.begin(), rules.banner.end());
  }
  std::size_t index = 0;
  for (const std::string_view line : util::Lines(text)) {
    if (rules.blanks && index >= rules.head && one_in(6)) blank();
    out.push_back(line);
    ++index;
  }
  if (rules.blanks && index >= rules.head && one_in(3)) blank();
  if (!rules.trailer.empty() && one_in(2)) {
    out.insert(out.end(), rules.trailer.begin(), rules.trailer.end());
  }
  std::string joined;
  joined.reserve(text.size() + text.size() / 8 + 64);
  for (std::size_t i = 0; i < out.size(); ++i) {
    joined += out[i];
    if (i + 1 < out.size() || !one_in(4)) joined += eol;
  }
  return joined;
}

std::string Layout::json(const std::string& text) {
  if (is_default()) return text;
  using nlohmann::ordered_json;
  const auto reorder = [this](auto& self, ordered_json& value) -> void {
    if (value.is_array()) {
      for (auto& v : value) self(self, v);
      return;
    }
    if (!value.is_object()) return;
    std::vector<std::pair<std::string, ordered_json>> members;
    for (auto& [k, v] : value.get_ref<ordered_json::object_t&>()) {
      self(self, v);
      members.emplace_back(k, std::move(v));
    }
    shuffle(members);
    // A member no reader knows, with a value of its own to step over.
    if (one_in(4)) {
      members.insert(members.begin() + static_cast<std::ptrdiff_t>(below(members.size() + 1)),
                     {"stats", ordered_json{{"packets", 0}, {"flags", {"x"}}}});
    }
    ordered_json::object_t object;
    object.reserve(members.size());
    for (auto& [k, v] : members) object.emplace_back(std::move(k), std::move(v));
    value = std::move(object);
  };
  ordered_json doc = ordered_json::parse(text);
  reorder(reorder, doc);
  static constexpr int kIndents[] = {-1, 2, 4};
  return lines(doc.dump(kIndents[below(std::size(kIndents))]) + "\n", Lines{.blanks = true});
}

Table::Table(Layout& layout, std::vector<Column> columns, Extras extras)
    : layout_(layout), columns_(std::move(columns)) {
  if (layout_.is_default()) {
    for (std::size_t i = 0; i < columns_.size(); ++i) printed_.push_back({i, columns_[i].title});
    return;
  }
  std::vector<std::size_t> untitled;
  std::vector<std::size_t> titled;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    (util::strip(columns_[i].title).empty() ? untitled : titled).push_back(i);
  }
  layout_.shuffle(titled);
  std::stable_sort(titled.begin(), titled.end(), [this](std::size_t a, std::size_t b) {
    return columns_[a].rank < columns_[b].rank;
  });
  for (const std::size_t i : untitled) printed_.push_back({i, columns_[i].title});
  for (const std::size_t i : titled) printed_.push_back({i, columns_[i].title});

  std::vector<std::string_view> titles(std::begin(kExtraTitles), std::end(kExtraTitles));
  layout_.shuffle(titles);
  const std::size_t n_extra = layout_.below(4);
  for (std::size_t k = 0; k < n_extra; ++k) {
    std::size_t at = printed_.size();
    if (extras == Extras::kAnywhere) at = untitled.size() + layout_.below(titled.size() + 1);
    printed_.insert(printed_.begin() + static_cast<std::ptrdiff_t>(at),
                    {kExtra, std::string(titles[k])});
  }
}

std::string Table::header() {
  std::string out;
  if (layout_.is_default()) {
    for (const Printed& p : printed_) out += p.title;
    return out;
  }
  if (layout_.one_in(3)) out += layout_.gap();
  for (const Printed& p : printed_) {
    const std::string_view title = util::strip(p.title);
    if (title.empty()) continue;
    if (!out.empty() && !util::is_space(out.back())) out += layout_.gap();
    out += title;
  }
  if (layout_.one_in(4)) out += layout_.gap();
  return out;
}

void Table::row(std::string& out, const std::vector<std::string>& values) {
  if (layout_.is_default()) {
    for (const Printed& p : printed_) out += values[p.given];
    out += '\n';
    return;
  }
  if (layout_.one_in(3)) out += layout_.gap();
  for (std::size_t i = 0; i < printed_.size(); ++i) {
    if (i > 0) out += layout_.gap();
    const Printed& p = printed_[i];
    out += p.given == kExtra ? kExtraValues[layout_.below(std::size(kExtraValues))]
                             : util::strip(values[p.given]);
  }
  if (layout_.one_in(4)) out += layout_.gap();
  out += '\n';
}

std::int64_t Table::word_position(std::string_view word) const {
  std::int64_t position = 0;
  for (const Printed& p : printed_) {
    for (const std::string_view w : util::split_ws(p.title)) {
      if (w == word) return position;
      ++position;
    }
  }
  return -1;
}

}  // namespace grpaudit::switchgen
