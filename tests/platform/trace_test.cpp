#include "grpaudit/platform/trace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <system_error>

#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/snapshot.h"
#include "grpaudit/util/text.h"
#include "support/test_support.h"

namespace grpaudit::platform {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<std::string> lines_of(const std::string& path) {
  const std::string text = testing::read_file(path);
  std::vector<std::string> out;
  for (auto line : util::split_lines(text)) out.emplace_back(line);
  return out;
}

std::shared_ptr<const Snapshot> small_snapshot() {
  auto s = std::make_shared<Snapshot>();
  s->sdk_commands = {{"show unit", "unit 0"}};
  s->sdk_tables["VLAN"]["1"] = {{"L3_IIF", 7}};
  s->sdk_to_linux = {{"xe0", "swp1"}};
  s->vrfs = {{"0", "default"}};
  s->host_commands = {{"/bin/false", {1, ""}}};
  s->host_files = {{"/proc/x", "x"}};
  s->host_dirs = {{"/sys/d", {"a"}}};
  return s;
}

TEST(Trace, RecordsEveryAttemptInOrder) {
  const testing::TempDir dir;
  const std::string path = dir.path() + "/trace.jsonl";
  Platform p = with_trace(make_replay_platform(small_snapshot()), std::make_shared<TraceLog>(path));

  const auto shell = p.sdk_shell(5);
  EXPECT_EQ(shell->run("show unit"), "unit 0");
  EXPECT_THROW(shell->run("show nothing"), ShellIoError);
  EXPECT_EQ(shell->gettable("VLAN", true, 1, 4).size(), 1u);
  EXPECT_EQ(p.host->run({"/bin/false"}).status, 1);
  EXPECT_THROW(p.host->run({"/bin/nope", "-x"}), std::system_error);
  EXPECT_EQ(p.host->run_shell("echo hi"), 0);
  EXPECT_TRUE(p.host->is_regular_file("/proc/x"));  // not traced
  EXPECT_TRUE(p.host->is_directory("/sys/d"));      // not traced
  EXPECT_EQ(p.host->read_file("/proc/x"), "x");
  EXPECT_THROW(p.host->read_file("/proc/y"), std::system_error);
  EXPECT_EQ(p.host->list_dir("/sys/d").size(), 1u);
  // Passed through untraced.
  EXPECT_EQ(p.port_table()->bcm2linux("xe0"), "swp1");
  EXPECT_EQ(p.vrf_db()->vrf_id2name(0), "default");

  EXPECT_THAT(lines_of(path), ElementsAre(R"({"sdk":"show unit"})", R"({"sdk":"show nothing"})",
                                          R"({"gettable":"VLAN","start":1,"entries":4})",
                                          R"({"run":"/bin/false","status":1})",
                                          R"({"run":"/bin/nope -x","status":null})",
                                          R"({"shell":"echo hi"})", R"({"read":"/proc/x"})",
                                          R"({"read":"/proc/y"})", R"({"list":"/sys/d"})"));
}

// A host and shell that look at the trace file at the moment they are asked.
struct Peek {
  std::string path;
  std::vector<std::string> seen;
  void look() { seen.push_back(lines_of(path).back()); }
};

class PeekingHost : public Host {
 public:
  explicit PeekingHost(Peek& peek) : peek_(peek) {}
  RunResult run(const std::vector<std::string>&) override { return {}; }
  int run_shell(const std::string&) override {
    peek_.look();
    return 0;
  }
  bool is_regular_file(const std::string&) override { return false; }
  bool is_directory(const std::string&) override { return false; }
  std::string read_file(const std::string&) override {
    peek_.look();
    return "";
  }
  std::vector<std::string> list_dir(const std::string&) override {
    peek_.look();
    return {};
  }

 private:
  Peek& peek_;
};

class PeekingShell : public asicterm::asicterm {
 public:
  explicit PeekingShell(Peek& peek) : peek_(peek) {}
  std::string run(const std::string&) override {
    peek_.look();
    return "";
  }
  std::vector<::asicterm::Fields> gettable(const std::string&, bool, std::int64_t,
                                           std::int64_t) override {
    peek_.look();
    return {};
  }

 private:
  Peek& peek_;
};

TEST(Trace, LinesAreOnDiskBeforeTheCallIsAnswered) {
  const testing::TempDir dir;
  Peek peek{dir.path() + "/trace.jsonl", {}};
  Platform inner;
  inner.sdk_shell = [&](int) { return std::make_unique<PeekingShell>(peek); };
  inner.host = std::make_shared<PeekingHost>(peek);
  Platform p = with_trace(std::move(inner), std::make_shared<TraceLog>(peek.path));

  p.sdk_shell(0)->run("a");
  p.sdk_shell(0)->gettable("T", false, 0, 1);
  p.host->run_shell("b");
  p.host->read_file("/c");
  p.host->list_dir("/d");
  EXPECT_THAT(peek.seen, ElementsAre(R"({"sdk":"a"})", R"({"gettable":"T","start":0,"entries":1})",
                                     R"({"shell":"b"})", R"({"read":"/c"})", R"({"list":"/d"})"));
  EXPECT_FALSE(p.port_table);  // missing components stay missing
  EXPECT_FALSE(p.vrf_db);
}

TEST(TraceLog, TruncatesAndReportsUnwritablePaths) {
  const testing::TempDir dir;
  const std::string path = dir.write("old.jsonl", "old line\n");
  TraceLog(path).write_line("{}");
  EXPECT_EQ(testing::read_file(path), "{}\n");

  const std::string bad = dir.path() + "/no/such/dir/trace.jsonl";
  try {
    TraceLog log(bad);
    ADD_FAILURE() << "no error";
  } catch (const std::system_error& e) {
    EXPECT_THAT(e.what(), HasSubstr("cannot write trace " + bad));
  }
}

}  // namespace
}  // namespace grpaudit::platform
