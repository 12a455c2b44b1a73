#include "grpaudit/platform/live_host.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "grpaudit/platform/snapshot.h"
#include "support/test_support.h"

namespace grpaudit::platform {
namespace {

using namespace std::string_literals;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;

// A tree with a file, an empty file, a directory and links to each.
class LiveHostTree : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = dir_.write("data.bin", "line\n\0\xff tail"s);
    empty_ = dir_.write("empty", "");
    sub_ = dir_.path() + "/sub";
    dir_.write("sub/inner", "x");
    std::filesystem::create_symlink(file_, dir_.path() + "/file-link");
    std::filesystem::create_symlink(sub_, dir_.path() + "/dir-link");
    std::filesystem::create_symlink(dir_.path() + "/gone", dir_.path() + "/dangling");
  }

  std::string at(const std::string& name) const { return dir_.path() + "/" + name; }

  grpaudit::testing::TempDir dir_;
  std::shared_ptr<Host> host_ = make_live_host();
  std::string file_, empty_, sub_;
};

TEST_F(LiveHostTree, FileKindsFollowLinks) {
  struct Case {
    std::string name;
    bool regular;
    bool directory;
  };
  const std::vector<Case> cases{
      {"data.bin", true, false},  {"empty", true, false},       {"sub", false, true},
      {"file-link", true, false}, {"dir-link", false, true},    {"dangling", false, false},
      {"missing", false, false},  {"data.bin/x", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(host_->is_regular_file(at(c.name)), c.regular);
    EXPECT_EQ(host_->is_directory(at(c.name)), c.directory);
  }
  EXPECT_FALSE(host_->is_regular_file("/dev/null"));
  EXPECT_FALSE(host_->is_directory(""));
}

TEST_F(LiveHostTree, ReadFileIsBinarySafe) {
  EXPECT_EQ(host_->read_file(file_), "line\n\0\xff tail"s);
  EXPECT_EQ(host_->read_file(at("file-link")), "line\n\0\xff tail"s);
  EXPECT_EQ(host_->read_file(empty_), "");
}

TEST(LiveHost, ReadsProcFilesWithZeroSize) {
  const auto host = make_live_host();
  ASSERT_EQ(std::filesystem::file_size("/proc/self/status"), 0u);
  const std::string status = host->read_file("/proc/self/status");
  EXPECT_THAT(status, HasSubstr("\nPid:\t" + std::to_string(getpid()) + "\n"));
  // Longer than any single page the kernel hands out for it.
  const std::string maps = host->read_file("/proc/self/maps");
  EXPECT_GT(maps.size(), 4096u);
  EXPECT_EQ(maps.back(), '\n');
}

TEST_F(LiveHostTree, ListDirOmitsDotEntries) {
  EXPECT_THAT(
      host_->list_dir(dir_.path()),
      UnorderedElementsAre("data.bin", "empty", "sub", "file-link", "dir-link", "dangling"));
  EXPECT_THAT(host_->list_dir(at("dir-link")), UnorderedElementsAre("inner"));
  grpaudit::testing::TempDir empty_dir;
  EXPECT_TRUE(host_->list_dir(empty_dir.path()).empty());
}

TEST_F(LiveHostTree, FailuresAreSystemErrors) {
  struct Case {
    const char* what;
    std::function<void()> call;
    std::errc code;
    std::string message;
  };
  const std::vector<Case> cases{
      {"read missing", [&] { host_->read_file(at("missing")); },
       std::errc::no_such_file_or_directory, "cannot read " + at("missing")},
      {"read dangling link", [&] { host_->read_file(at("dangling")); },
       std::errc::no_such_file_or_directory, "cannot read " + at("dangling")},
      {"read directory", [&] { host_->read_file(sub_); }, std::errc::is_a_directory,
       "cannot read " + sub_},
      {"list missing", [&] { host_->list_dir(at("missing")); },
       std::errc::no_such_file_or_directory, "cannot list " + at("missing")},
      {"list file", [&] { host_->list_dir(file_); }, std::errc::not_a_directory,
       "cannot list " + file_},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      c.call();
      ADD_FAILURE() << "no exception";
    } catch (const std::system_error& e) {
      EXPECT_EQ(e.code(), std::make_error_code(c.code));
      EXPECT_THAT(e.what(), HasSubstr(c.message));
    }
  }
}

TEST(LiveHost, RunsCommands) {
  const auto host = make_live_host();
  const RunResult echo = host->run({"/bin/echo", "-n", "a  b"});
  EXPECT_EQ(echo.status, 0);
  EXPECT_EQ(echo.out, "a  b");
  const RunResult failing = host->run({"/bin/sh", "-c", "echo out; echo err >&2; exit 5"});
  EXPECT_EQ(failing.status, 5);
  EXPECT_EQ(failing.out, "out\n");
  EXPECT_THROW(host->run({"/nonexistent/grpaudit-none"}), std::system_error);
  EXPECT_EQ(host->run_shell("exit 4"), 4);
}

}  // namespace
}  // namespace grpaudit::platform

namespace grpaudit::platform {
namespace {

// A Linux command that hangs is killed with its process group when its time
// is up, and fails naming itself and the time; one that finishes in time is
// not disturbed.
TEST(LiveHostTimeout, AHangingCommandIsKilledWithItsGroup) {
  const grpaudit::testing::TempDir dir;
  const std::string pid_file = dir.path() + "/sleep.pid";
  const auto host = make_live_host(std::chrono::milliseconds(300));
  const std::vector<std::string> argv = {"/bin/sh", "-c",
                                         "sleep 60 & echo $! >" + pid_file + "; wait"};
  try {
    host->run(argv);
    FAIL() << "a hanging command returned";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), ETIMEDOUT);
    EXPECT_THAT(e.what(),
                ::testing::StartsWith(host_command_key(argv) + " gave no answer within 300 ms"));
  }
  const std::string pid = grpaudit::testing::read_file(pid_file);
  bool gone = false;
  for (int tries = 0; tries < 40 && !gone; ++tries) {
    std::ifstream stat("/proc/" + pid.substr(0, pid.find('\n')) + "/stat");
    std::string line;
    gone = !std::getline(stat, line) || line.find(") Z") != std::string::npos;
    if (!gone) ::usleep(50000);
  }
  EXPECT_TRUE(gone) << "the command's child still runs";
  EXPECT_EQ(host->run({"/bin/echo", "in time"}).out, "in time\n");
}

}  // namespace
}  // namespace grpaudit::platform
