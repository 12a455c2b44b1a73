#include "grpaudit/platform/sdk_transport.h"

#include <cstdlib>
#include <stdexcept>

#include <fmt/format.h>

#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/process.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/regex.h"
#include "grpaudit/util/text.h"

namespace grpaudit::platform {
namespace {

class TransportShell : public CommandLineShell {
 public:
  TransportShell(std::vector<std::string> argv, std::chrono::milliseconds timeout)
      : argv_(std::move(argv)), timeout_(timeout) {}

  std::string run(const std::string& cmd) override {
    std::vector<std::string> argv = argv_;
    argv.push_back(cmd);
    ProcessResult result = run_process(argv, {timeout_, /*own_process_group=*/true});
    if (result.timed_out) {
      throw ShellIoError(
          fmt::format("SDK shell did not answer \"{}\" within {} ms", cmd, timeout_.count()));
    }
    // The shell prints its own errors as text the readers understand; only a
    // transport that failed without a word is a failure of the transport.
    if (result.status != 0 && result.out.empty()) {
      throw std::runtime_error(fmt::format("SDK shell transport {} failed on \"{}\" (status {})",
                                           argv_.front(), cmd, result.status));
    }
    return std::move(result.out);
  }

 private:
  std::vector<std::string> argv_;
  std::chrono::milliseconds timeout_;
};

}  // namespace

std::vector<asicterm::Fields> CommandLineShell::gettable(const std::string& table, bool /*fields*/,
                                                         std::int64_t start, std::int64_t entries) {
  return parse_memory_dump(run(fmt::format("dump {} {} {}", table, start, entries)));
}

std::unique_ptr<asicterm::asicterm> make_sdk_transport(const std::string& transport,
                                                       std::chrono::milliseconds timeout) {
  std::vector<std::string> argv;
  for (const auto word : util::split_ws(transport)) argv.emplace_back(word);
  if (argv.empty()) throw std::invalid_argument("empty SDK shell transport command");
  return std::make_unique<TransportShell>(std::move(argv), timeout);
}

std::chrono::milliseconds sdk_timeout(int timeout_seconds) {
  if (const char* hook = std::getenv(kSdkTimeoutTestHook); hook != nullptr && *hook != '\0') {
    return std::chrono::milliseconds(util::parse_dec(hook));
  }
  return std::chrono::seconds(timeout_seconds);
}

std::vector<asicterm::Fields> parse_memory_dump(std::string_view text) {
  static const util::Regex entry(R"(\[(?P<key>\d+)\]: <(?P<data>\S+)>)",
                                 util::Regex::Mode::kSearch);
  std::vector<asicterm::Fields> out;
  for (const auto line : util::split_lines(text)) {
    const auto m = entry.match(line);
    if (!m) continue;
    asicterm::Fields fields;
    for (const auto piece : util::split_at((*m)["data"], ",")) {
      const auto parts = util::split_at(piece, "=");
      if (parts.size() < 2) continue;
      fields[std::string(parts[0])] = util::parse_int_auto(parts[1]);
    }
    out.push_back(std::move(fields));
  }
  return out;
}

}  // namespace grpaudit::platform
