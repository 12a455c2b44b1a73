#pragma once
// A compiled PCRE2 pattern with named groups.
//
// Patterns are compiled once (JIT where the platform offers it) with the
// newline convention ANYCRLF, so '.' never matches \r or \n. A pattern is
// either anchored at the start of the subject or searched anywhere, fixed at
// compile time so that the JIT path is always taken.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

typedef struct pcre2_real_code_8 pcre2_code_8;
typedef struct pcre2_real_match_data_8 pcre2_match_data_8;

namespace grpaudit::util {

class Regex;

// The groups of one successful match; views into the matched subject.
class Match {
 public:
  // The text of a named group; empty when the group did not take part.
  std::string_view operator[](std::string_view name) const;
  std::string_view group(std::size_t index) const;

  // Groups kept in the object itself: readers match every line of listings
  // with hundreds of thousands of lines, and their patterns have few groups.
  static constexpr std::size_t kMaxGroups = 8;

 private:
  friend class Regex;
  // Only a Regex has one: with it, std::optional can make a Match in place.
  struct Made {
    explicit Made() = default;
  };

 public:
  // `offsets` holds `used` offsets (start, end pairs) of a successful match.
  Match(Made, const Regex* re, std::string_view subject, const std::size_t* offsets,
        std::size_t used);

 private:
  const Regex* re_;
  std::string_view subject_;
  std::size_t count_ = 0;  // offsets used
  // Start, end pairs; PCRE2_UNSET when unset. Written whole by Regex::match.
  std::array<std::size_t, 2 * kMaxGroups> offsets_;
};

class Regex {
 public:
  enum class Mode { kAnchored, kSearch };

  Regex(std::string_view pattern, Mode mode);
  ~Regex();
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  // Anchored patterns match at the start of `subject` only; search patterns
  // take the leftmost match anywhere in it.
  std::optional<Match> match(std::string_view subject) const;

  const std::string& pattern() const { return pattern_; }

 private:
  friend class Match;
  int group_number(std::string_view name) const;

  std::string pattern_;
  pcre2_code_8* code_ = nullptr;
  pcre2_match_data_8* data_ = nullptr;  // reused: the system runs on one thread
  bool jit_ = false;
  // Group names and numbers, read once from the compiled pattern.
  std::vector<std::pair<std::string, int>> names_;
};

}  // namespace grpaudit::util
