#pragma once
// The SDK diagnostic shell of a live switch, reached through a transport
// program: the program's words with the SDK command line appended as one more
// argument; its standard output is the command's output.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "grpaudit/platform/platform.h"

namespace grpaudit::platform {

// Environment variable that shortens the shell's time-out, in milliseconds,
// so that tests need not wait minutes for a transport that never answers.
inline constexpr const char* kSdkTimeoutTestHook = "GRPAUDIT_SDK_TIMEOUT_MS";

// An SDK shell reached by command lines alone: memory-table reads run
// "dump <table> <start> <entries>" and decode the "[index]: <NAME=value,...>"
// lines of its output.
class CommandLineShell : public asicterm::asicterm {
 public:
  std::vector<::asicterm::Fields> gettable(const std::string& table, bool fields,
                                           std::int64_t start, std::int64_t entries) final;
};

// `transport` is split at blanks. A command that gets no answer within
// `timeout` kills the transport's whole process group and throws
// ShellIoError.
std::unique_ptr<asicterm::asicterm> make_sdk_transport(const std::string& transport,
                                                       std::chrono::milliseconds timeout);

// The time-out for a shell opened with `timeout_seconds`, unless the test
// hook in the environment gives another.
std::chrono::milliseconds sdk_timeout(int timeout_seconds);

// Entries of a memory-table dump, in the order listed.
std::vector<asicterm::Fields> parse_memory_dump(std::string_view text);

}  // namespace grpaudit::platform
