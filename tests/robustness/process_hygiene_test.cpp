// The live command runner under load: ten thousand commands of every kind
// leave no descriptor and no child behind, and large outputs arrive whole.

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "grpaudit/asic/asic.h"
#include "grpaudit/platform/live_host.h"
#include "support/test_support.h"

namespace grpaudit {
namespace {

std::size_t open_descriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

bool no_child_left() {
  int st;
  errno = 0;
  return ::waitpid(-1, &st, WNOHANG) == -1 && errno == ECHILD;
}

// Bytes that differ from one position to the next, so that a lost, repeated
// or reordered chunk shows.
std::string pattern(std::size_t size) {
  std::string s(size, '\0');
  std::uint32_t x = 12345;
  for (auto& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

TEST(ProcessHygiene, TenThousandCommandsLeaveNoDescriptorOrChild) {
  const std::shared_ptr<Host> host = platform::make_live_host();
  testing::TempDir dir;
  const std::string big = pattern(3 * 1024 * 1024);
  const std::string big_file = dir.write("big", big);
  Asic::_get_cmd_output(*host, {"/bin/true"}, "");  // lets lazily opened descriptors settle
  const std::size_t before = open_descriptors();
  const auto start = std::chrono::steady_clock::now();

  constexpr int kRuns = 10000;
  int failures = 0;
  for (int i = 0; i < kRuns && failures < 10; ++i) {
    std::string got;
    std::string expected;
    if (i % 500 == 0) {  // several MB on standard output
      got = Asic::_get_cmd_output(*host, {"/bin/cat", big_file}, "fallback");
      if (got != big) ++failures;
      continue;
    }
    switch (i % 4) {
      case 0:
        got = Asic::_get_cmd_output(*host, {"/bin/echo", "ok"}, "fallback");
        expected = "ok\n";
        break;
      case 1:
        got = Asic::_get_cmd_output(*host, {"/bin/false"}, "fallback");
        expected = "fallback";
        break;
      case 2:
        try {
          Asic::_get_cmd_output(*host, {"/nonexistent/grpaudit-program"}, "fallback");
          got = "started";
        } catch (const std::system_error&) {
        }
        break;
      case 3:
        got = Asic::_get_cmd_output(*host, {"/bin/sh", "-c", "echo only-error >&2"}, "fallback");
        break;
    }
    if (got != expected) {
      ++failures;
      ADD_FAILURE() << "run " << i << " gave \"" << got << "\"";
    }
  }
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(open_descriptors(), before);
  EXPECT_TRUE(no_child_left());
  std::cout << "[ hygiene  ] " << kRuns << " commands in "
            << std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
                   .count()
            << " ms\n";
}

TEST(ProcessHygiene, FiftyMegabytesOfOutputArriveWhole) {
  const std::shared_ptr<Host> host = platform::make_live_host();
  testing::TempDir dir;
  const std::string data = pattern(50 * 1024 * 1024);
  const std::string file = dir.write("fifty", data);
  const std::size_t before = open_descriptors();
  const std::string got = Asic::_get_cmd_output(*host, {"/bin/cat", file}, "fallback");
  EXPECT_EQ(got.size(), data.size());
  EXPECT_TRUE(got == data);
  EXPECT_EQ(open_descriptors(), before);
  EXPECT_TRUE(no_child_left());
}

}  // namespace
}  // namespace grpaudit
