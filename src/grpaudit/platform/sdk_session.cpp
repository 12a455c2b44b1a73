#include "grpaudit/platform/sdk_session.h"

#include <stdexcept>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/process.h"
#include "grpaudit/platform/sdk_transport.h"
#include "grpaudit/util/text.h"

namespace grpaudit::platform {
namespace {

util::Regex compile_prompt(const std::string& pattern) {
  try {
    // Anchored at the start and, by \z, at the end: the whole line.
    return util::Regex("(?:" + pattern + ")\\z", util::Regex::Mode::kAnchored);
  } catch (const std::logic_error& e) {
    const std::string what = e.what();
    throw std::invalid_argument("not a usable prompt pattern: " + pattern + " (" +
                                what.substr(what.rfind(": ") + 2) + ")");
  }
}

class SessionShell : public CommandLineShell {
 public:
  SessionShell(std::vector<std::string> argv, const std::string& prompt,
               std::chrono::milliseconds timeout)
      : argv_(std::move(argv)), prompt_(prompt), timeout_(timeout) {}

  std::string run(const std::string& cmd) override {
    // A line end would end the command early and desynchronise the answers.
    if (cmd.find_first_of("\r\n") != std::string::npos)
      throw std::invalid_argument("an SDK command holds a line end: " + util::quote(cmd));
    const auto deadline = Session::Clock::now() + timeout_;
    if (!session_) {
      session_ = std::make_unique<Session>(argv_);
      std::string banner;
      if (!read_to_prompt(banner, deadline)) {
        fail(fmt::format("SDK shell session {} gave no prompt within {} ms", argv_.front(),
                         timeout_.count()));
      }
    }
    std::string out;
    if (!session_->write(cmd + "\n", deadline) || !read_to_prompt(out, deadline)) {
      fail(fmt::format("SDK shell did not answer \"{}\" within {} ms", cmd, timeout_.count()));
    }
    return out;
  }

 private:
  // Reads up to the next prompt, which is dropped; false when the session
  // ends or the deadline passes first.
  bool read_to_prompt(std::string& out, Session::Clock::time_point deadline) {
    for (;;) {
      if (session_->read_some(out, deadline) != Session::Read::kData) return false;
      // A prompt-like line is the prompt only when the shell has stopped
      // writing after it.
      if (const auto at = prompt_.at_end(out); at && !session_->output_waiting()) {
        out.resize(*at);
        return true;
      }
    }
  }

  [[noreturn]] void fail(const std::string& what) {
    session_.reset();  // kills what is left of it
    throw ShellIoError(what);
  }

  std::vector<std::string> argv_;
  SdkPrompt prompt_;
  std::chrono::milliseconds timeout_;
  std::unique_ptr<Session> session_;
};

}  // namespace

SdkPrompt::SdkPrompt(const std::string& pattern) : whole_line_(compile_prompt(pattern)) {
  if (whole_line_.match(""))
    throw std::invalid_argument("the prompt pattern matches an empty line: " + pattern);
}

std::optional<std::size_t> SdkPrompt::at_end(std::string_view output) const {
  const std::size_t nl = output.rfind('\n');
  const std::size_t start = nl == std::string_view::npos ? 0 : nl + 1;
  if (start == output.size()) return std::nullopt;
  if (!whole_line_.match(output.substr(start))) return std::nullopt;
  return start;
}

std::unique_ptr<asicterm::asicterm> make_sdk_session(const std::string& session,
                                                     const std::string& prompt,
                                                     std::chrono::milliseconds timeout) {
  std::vector<std::string> argv;
  for (const auto word : util::split_ws(session)) argv.emplace_back(word);
  if (argv.empty()) throw std::invalid_argument("empty SDK shell session command");
  return std::make_unique<SessionShell>(std::move(argv), prompt, timeout);
}

}  // namespace grpaudit::platform
