#include "grpaudit/util/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <stdexcept>

namespace grpaudit::util {

Regex::Regex(std::string_view pattern, Mode mode) : pattern_(pattern) {
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_compile_context* ctx = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(ctx, PCRE2_NEWLINE_ANYCRLF);
  const std::uint32_t options = mode == Mode::kAnchored ? PCRE2_ANCHORED : 0;
  code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern_.data()), pattern_.size(), options,
                        &error, &offset, ctx);
  pcre2_compile_context_free(ctx);
  if (code_ == nullptr) {
    PCRE2_UCHAR buf[256];
    pcre2_get_error_message(error, buf, sizeof buf);
    throw std::logic_error("bad pattern " + pattern_ + ": " + reinterpret_cast<char*>(buf));
  }
  // Falls back to the interpreter where the platform has no JIT.
  jit_ = pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE) == 0;
  std::uint32_t captures = 0;
  pcre2_pattern_info(code_, PCRE2_INFO_CAPTURECOUNT, &captures);
  if (captures + 1 > Match::kMaxGroups) {
    pcre2_code_free(code_);
    throw std::logic_error("pattern " + pattern_ + " has too many groups");
  }
  std::uint32_t name_count = 0;
  std::uint32_t entry_size = 0;
  PCRE2_SPTR table = nullptr;
  pcre2_pattern_info(code_, PCRE2_INFO_NAMECOUNT, &name_count);
  pcre2_pattern_info(code_, PCRE2_INFO_NAMEENTRYSIZE, &entry_size);
  pcre2_pattern_info(code_, PCRE2_INFO_NAMETABLE, &table);
  for (std::uint32_t i = 0; i < name_count; ++i) {
    // Each entry: the group number in two bytes, then the name, NUL-terminated.
    const auto* entry = table + i * entry_size;
    names_.emplace_back(reinterpret_cast<const char*>(entry + 2), (entry[0] << 8) | entry[1]);
  }
  data_ = pcre2_match_data_create_from_pattern(code_, nullptr);
  if (data_ == nullptr) {
    pcre2_code_free(code_);
    throw std::bad_alloc();
  }
}

Regex::~Regex() {
  pcre2_match_data_free(data_);
  pcre2_code_free(code_);
}

std::optional<Match> Regex::match(std::string_view subject) const {
  const auto* text = reinterpret_cast<PCRE2_SPTR>(subject.data());
  const int rc = jit_ ? pcre2_jit_match(code_, text, subject.size(), 0, 0, data_, nullptr)
                      : pcre2_match(code_, text, subject.size(), 0, 0, data_, nullptr);
  if (rc == PCRE2_ERROR_NOMATCH) return std::nullopt;
  if (rc < 0) {
    PCRE2_UCHAR buf[256];
    pcre2_get_error_message(rc, buf, sizeof buf);
    throw std::runtime_error("pattern " + pattern_ + ": " + reinterpret_cast<char*>(buf));
  }
  const std::size_t used =
      2 * std::min<std::size_t>(pcre2_get_ovector_count(data_), Match::kMaxGroups);
  // Made where it is returned rather than copied there: readers match every
  // line of their listings.
  return std::optional<Match>(std::in_place, Match::Made(), this, subject,
                              pcre2_get_ovector_pointer(data_), used);
}

Match::Match(Made, const Regex* re, std::string_view subject, const std::size_t* offsets,
             std::size_t used)
    : re_(re), subject_(subject), count_(used) {
  // Every offset written in one fixed-length loop (the unused ones unset):
  // cheaper, for the few groups of a pattern, than clearing the array and
  // then copying the used part, which readers paid on every line.
  for (std::size_t i = 0; i < offsets_.size(); ++i)
    offsets_[i] = i < used ? offsets[i] : PCRE2_UNSET;
}

int Regex::group_number(std::string_view name) const {
  for (const auto& [n, number] : names_) {
    if (n == name) return number;
  }
  throw std::logic_error("pattern " + pattern_ + " has no group " + std::string(name));
}

std::string_view Match::group(std::size_t index) const {
  if (2 * index + 1 >= count_) return {};
  const std::size_t b = offsets_[2 * index];
  const std::size_t e = offsets_[2 * index + 1];
  if (b == PCRE2_UNSET || e == PCRE2_UNSET || b > e || e > subject_.size()) return {};
  return subject_.substr(b, e - b);
}

std::string_view Match::operator[](std::string_view name) const {
  return group(static_cast<std::size_t>(re_->group_number(name)));
}

}  // namespace grpaudit::util
