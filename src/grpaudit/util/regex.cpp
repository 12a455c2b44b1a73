#include "grpaudit/util/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

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
  pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE);  // falls back to the interpreter on failure
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
  const int rc = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0,
                             0, data_, nullptr);
  if (rc == PCRE2_ERROR_NOMATCH) return std::nullopt;
  if (rc < 0) {
    PCRE2_UCHAR buf[256];
    pcre2_get_error_message(rc, buf, sizeof buf);
    throw std::runtime_error("pattern " + pattern_ + ": " + reinterpret_cast<char*>(buf));
  }
  Match m(this, subject);
  const std::uint32_t pairs = pcre2_get_ovector_count(data_);
  const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data_);
  m.offsets_.assign(ov, ov + 2 * pairs);
  return m;
}

int Regex::group_number(std::string_view name) const {
  const std::string n(name);
  const int number =
      pcre2_substring_number_from_name(code_, reinterpret_cast<PCRE2_SPTR>(n.c_str()));
  if (number < 0) throw std::logic_error("pattern " + pattern_ + " has no group " + n);
  return number;
}

std::string_view Match::group(std::size_t index) const {
  if (2 * index + 1 >= offsets_.size()) return {};
  const std::size_t b = offsets_[2 * index];
  const std::size_t e = offsets_[2 * index + 1];
  if (b == PCRE2_UNSET || e == PCRE2_UNSET || b > e || e > subject_.size()) return {};
  return subject_.substr(b, e - b);
}

std::string_view Match::operator[](std::string_view name) const {
  return group(static_cast<std::size_t>(re_->group_number(name)));
}

}  // namespace grpaudit::util
