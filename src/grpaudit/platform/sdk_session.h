#pragma once
// The SDK diagnostic shell of a live switch as one session: the session
// program is started once, each command line is written to its standard
// input, and the answer is what it prints up to its next prompt. An SDK
// client that needs tens of milliseconds to connect then connects once, not
// once per command.

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "grpaudit/platform/platform.h"
#include "grpaudit/util/regex.h"

namespace grpaudit::platform {

// The prompt taken when none is given: a word, then "> " ("BCM.0> ",
// "asicterm> ").
inline constexpr const char* kDefaultSdkPrompt = R"([\w.:-]*> ?)";

// A prompt pattern, matched against a whole line.
class SdkPrompt {
 public:
  // Throws std::invalid_argument for a pattern that does not compile, or
  // that an empty line matches (every line end would look like a prompt).
  explicit SdkPrompt(const std::string& pattern);

  // Where the prompt that ends `output` starts: the last line of `output`
  // (after its last line end; it has none of its own) is a prompt. None when
  // the output does not end so. A prompt-like text inside a line, or at the
  // start of a line that goes on, is not one.
  std::optional<std::size_t> at_end(std::string_view output) const;

 private:
  util::Regex whole_line_;
};

// `session` is split at blanks. The banner before the first prompt is
// dropped. A command that gets no answer within `timeout`, or a session that
// ends while answering, kills the session's process group and throws
// ShellIoError; the next command starts a new session. Memory-table reads
// are "dump <table> <start> <entries>" commands of the same session.
std::unique_ptr<asicterm::asicterm> make_sdk_session(const std::string& session,
                                                     const std::string& prompt,
                                                     std::chrono::milliseconds timeout);

}  // namespace grpaudit::platform
