#include "grpaudit/platform/process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace grpaudit::platform {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

std::size_t open_descriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++n;
  }
  return n;
}

void expect_no_unreaped_child() {
  int st;
  errno = 0;
  EXPECT_EQ(waitpid(-1, &st, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

struct RunCase {
  const char* name;
  std::vector<std::string> argv;
  int status;
  std::string out;
};

void PrintTo(const RunCase& c, std::ostream* os) {
  *os << c.name;
}

class RunProcessCase : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunProcessCase, StatusAndOutput) {
  const RunCase& c = GetParam();
  // A time-out turns a child stuck on our stdin into a failure instead of a hang.
  const ProcessResult r = run_process(c.argv, {.timeout = 10s});
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.out, c.out);
}

INSTANTIATE_TEST_SUITE_P(
    Children, RunProcessCase,
    ::testing::Values(
        RunCase{"EchoKeepsNewline", {"/bin/echo", "hello", "world"}, 0, "hello world\n"},
        RunCase{"SearchedInPath", {"echo", "x"}, 0, "x\n"},
        RunCase{"NoWordExpansion", {"/bin/echo", "$HOME *", "a;b"}, 0, "$HOME * a;b\n"},
        RunCase{"FailureKeepsOutput", {"/bin/sh", "-c", "printf partial; exit 1"}, 1, "partial"},
        RunCase{"False", {"/bin/false"}, 1, ""},
        RunCase{"ExitStatus", {"/bin/sh", "-c", "exit 42"}, 42, ""},
        RunCase{"StderrDiscarded", {"/bin/sh", "-c", "echo oops >&2"}, 0, ""},
        RunCase{"StdinIsEmpty", {"/bin/cat"}, 0, ""},
        RunCase{"BinarySafe", {"/bin/sh", "-c", "printf 'a\\000b\\377'"}, 0, "a\0b\xff"s},
        RunCase{"KilledBySignal",
                {"/bin/sh", "-c", "echo before; kill -TERM $$"},
                -SIGTERM,
                "before\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RunProcess, CapturesLargeOutputWhole) {
  // 20 MB of numbered lines: a lost or repeated chunk shows as a mismatch.
  const ProcessResult r = run_process({"/bin/sh", "-c", "seq 1 2400000"});
  ASSERT_EQ(r.status, 0);
  std::string expected;
  expected.reserve(r.out.size());
  for (int i = 1; i <= 2400000; ++i) {
    expected += std::to_string(i);
    expected += '\n';
  }
  ASSERT_GT(expected.size(), 16'000'000u);
  EXPECT_EQ(r.out.size(), expected.size());
  EXPECT_TRUE(r.out == expected);
}

struct StartFailure {
  const char* name;
  std::vector<std::string> argv;
  std::errc code;
};

void PrintTo(const StartFailure& c, std::ostream* os) {
  *os << c.name;
}

class RunProcessStartFailure : public ::testing::TestWithParam<StartFailure> {};

TEST_P(RunProcessStartFailure, ThrowsSystemError) {
  const StartFailure& c = GetParam();
  try {
    run_process(c.argv);
    FAIL() << "no exception";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code(), std::make_error_code(c.code));
    if (!c.argv.empty()) {
      EXPECT_NE(std::string(e.what()).find("cannot run " + c.argv[0]), std::string::npos)
          << e.what();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Programs, RunProcessStartFailure,
                         ::testing::Values(StartFailure{"MissingPath",
                                                        {"/nonexistent/grpaudit-none"},
                                                        std::errc::no_such_file_or_directory},
                                           StartFailure{"MissingInPath",
                                                        {"grpaudit-no-such-program"},
                                                        std::errc::no_such_file_or_directory},
                                           StartFailure{
                                               "Directory", {"/"}, std::errc::permission_denied},
                                           StartFailure{"Empty", {}, std::errc::invalid_argument}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RunProcess, NotExecutableThrows) {
  grpaudit::testing::TempDir dir;
  const std::string script = dir.write("script", "#!/bin/sh\necho hi\n");
  ASSERT_EQ(chmod(script.c_str(), 0644), 0);
  EXPECT_THROW(run_process({script}), std::system_error);
}

TEST(RunProcess, TimeoutKillsChildAndKeepsOutput) {
  const auto start = std::chrono::steady_clock::now();
  const ProcessResult r =
      run_process({"/bin/sh", "-c", "echo started; exec sleep 5"}, {.timeout = 200ms});
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(r.timed_out);
  EXPECT_EQ(r.status, -SIGKILL);
  EXPECT_EQ(r.out, "started\n");
  EXPECT_GE(elapsed, 200ms);
  EXPECT_LT(elapsed, 3s);
  expect_no_unreaped_child();
}

TEST(RunProcess, TimeoutAppliesAfterOutputCloses) {
  const auto start = std::chrono::steady_clock::now();
  const ProcessResult r =
      run_process({"/bin/sh", "-c", "echo x; exec >&-; exec sleep 5"}, {.timeout = 200ms});
  EXPECT_TRUE(r.timed_out);
  EXPECT_EQ(r.out, "x\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  expect_no_unreaped_child();
}

TEST(RunProcess, TimeoutKillsWholeProcessGroup) {
  // The grandchild holds the output pipe open; only killing the group ends it.
  const ProcessResult r = run_process({"/bin/sh", "-c", "sleep 5 & echo $!; wait"},
                                      {.timeout = 200ms, .own_process_group = true});
  EXPECT_TRUE(r.timed_out);
  ASSERT_FALSE(r.out.empty());
  const pid_t grandchild = std::stoi(r.out);
  EXPECT_TRUE(testing::gone_or_zombie(grandchild)) << "grandchild " << grandchild << " still runs";
  expect_no_unreaped_child();
}

TEST(RunProcess, ChildGetsDefaultSigpipe) {
  // A shell cannot undo a SIGPIPE it inherited as ignored, so the child would
  // survive its own kill if ours leaked through.
  struct sigaction ignore = {};
  struct sigaction saved = {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGPIPE, &ignore, &saved), 0);
  const ProcessResult r = run_process({"/bin/sh", "-c", "kill -PIPE $$"});
  sigaction(SIGPIPE, &saved, nullptr);
  EXPECT_EQ(r.status, -SIGPIPE);
}

TEST(RunProcess, LeavesNoDescriptorOrZombie) {
  run_process({"/bin/true"});  // lets lazily opened descriptors settle first
  const std::size_t before = open_descriptors();
  for (int i = 0; i < 300; ++i) {
    switch (i % 4) {
      case 0:
        EXPECT_EQ(run_process({"/bin/echo", "x"}).out, "x\n");
        break;
      case 1:
        EXPECT_THROW(run_process({"/nonexistent/grpaudit-none"}), std::system_error);
        break;
      case 2:
        EXPECT_EQ(run_process({"/bin/sh", "-c", "exit 3"}, {.timeout = 5s}).status, 3);
        break;
      case 3:
        EXPECT_EQ(run_shell_command("exit 0"), 0);
        break;
    }
  }
  EXPECT_TRUE(run_process({"/bin/sleep", "5"}, {.timeout = 20ms}).timed_out);
  EXPECT_TRUE(
      run_process({"/bin/sleep", "5"}, {.timeout = 20ms, .own_process_group = true}).timed_out);
  EXPECT_EQ(open_descriptors(), before);
  expect_no_unreaped_child();
}

TEST(RunProcess, ChildSeesOnlyStandardDescriptors) {
  // Whatever this process holds open, the child lists fds 0, 1, 2 and the
  // one ls opens for the listing itself.
  const int stray = open("/dev/null", O_RDONLY);  // not close-on-exec
  ASSERT_GE(stray, 0);
  const ProcessResult r = run_process({"/bin/ls", "/proc/self/fd"});
  close(stray);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "0\n1\n2\n3\n");
}

struct ShellCase {
  const char* name;
  const char* cmdline;
  int status;
};

void PrintTo(const ShellCase& c, std::ostream* os) {
  *os << c.cmdline;
}

class RunShellCommandCase : public ::testing::TestWithParam<ShellCase> {};

TEST_P(RunShellCommandCase, ReturnsStatusAndWritesNothing) {
  // Point our stdout at a file while the shell runs to see what leaks through.
  grpaudit::testing::TempDir dir;
  const std::string capture = dir.write("stdout", "");
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  ASSERT_GE(saved, 0);
  const int file = open(capture.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(file, 0);
  dup2(file, STDOUT_FILENO);
  close(file);
  const int status = run_shell_command(GetParam().cmdline);
  dup2(saved, STDOUT_FILENO);
  close(saved);

  EXPECT_EQ(status, GetParam().status);
  EXPECT_EQ(grpaudit::testing::read_file(capture), "");
}

INSTANTIATE_TEST_SUITE_P(
    Shell, RunShellCommandCase,
    ::testing::Values(ShellCase{"True", "true", 0}, ShellCase{"Exit", "exit 7", 7},
                      ShellCase{"OutputDiscarded", "echo out; echo err >&2; exit 2", 2},
                      ShellCase{"ShellSyntax", "a=1; [ \"$a\" = 1 ] && echo yes", 0},
                      ShellCase{"Killed", "kill -KILL $$", -SIGKILL},
                      ShellCase{"NotFound", "grpaudit-no-such-program", 127}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace grpaudit::platform
