// Reading snapshot files: what the JSON says, the last of a member given
// twice, numbers at the edges of 64 bits, strings as JSON defines them; and
// the replay of a loaded file, whose answers are found through indexes,
// against the plain replay of the same snapshot.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/snapshot.h"
#include "support/cli_run.h"
#include "support/test_support.h"
#include "switch_gen.h"

namespace grpaudit::platform {
namespace {

std::string doc(const std::string& members) {
  return R"({"format": "grpaudit-snapshot", "version": 1)" +
         (members.empty() ? "" : ", " + members) + "}";
}

// What `f` throws, or "" when it returns.
template <typename F>
std::string error_of(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

TEST(SnapshotReading, ReadsWhatTheJsonSays) {
  using Check = std::function<void(const Snapshot&)>;
  const auto command = [](const char* key, const char* want) -> Check {
    return [=](const Snapshot& s) { EXPECT_EQ(s.sdk_commands.at(key), want); };
  };
  const auto field = [](std::int64_t want) -> Check {
    return [=](const Snapshot& s) { EXPECT_EQ(s.sdk_tables.at("T").at("1").at("F"), want); };
  };
  const struct {
    std::string text;
    Check check;        // when read
    std::string error;  // else the start of the error after the file's name
  } cases[] = {
      // Members given twice: the last counts, at every level.
      {doc(R"("sdk": {"commands": {"a": "1"}}, "sdk": {"commands": {"b": "2"}})"),
       [](const Snapshot& s) { EXPECT_EQ(s.sdk_commands.count("a"), 0u); }, ""},
      {doc(R"("sdk": {"commands": {"a": "1", "a": "2"}})"), command("a", "2"), ""},
      {doc(R"("sdk": {"tables": {"T": {"1": {"F": 1}}, "T": {"2": {"G": 2}}}})"),
       [](const Snapshot& s) { EXPECT_EQ(s.sdk_tables.at("T").count("1"), 0u); }, ""},
      {doc(R"("sdk": {"tables": {"T": {"1": {"F": 1, "F": -2}}}})"), field(-2), ""},
      {doc(R"("host": {"commands": {"c": {"status": 1}, "c": {"stdout": "o"}}})"),
       [](const Snapshot& s) {
         EXPECT_EQ(s.host_commands.at("c"), (HostCommand{0, "o"}));
       },
       ""},
      {R"({"version": 1, "format": "grpaudit-snapshot", "format": "other"})",
       {},
       "not a grpaudit snapshot (format is \"other\")"},
      {R"({"format": "grpaudit-snapshot", "version": 2, "version": 1})", {}, ""},
      // Numbers at and beyond the edges of 64 bits.
      {doc(R"("sdk": {"tables": {"T": {"1": {"F": -9223372036854775808}}}})"),
       field(std::numeric_limits<std::int64_t>::min()), ""},
      {doc(R"("sdk": {"tables": {"T": {"1": {"F": 9223372036854775807}}}})"),
       field(std::numeric_limits<std::int64_t>::max()), ""},
      {doc(R"("sdk": {"tables": {"T": {"1": {"F": 9223372036854775808}}}})"),
       {},
       "sdk.tables.\"T\".\"1\".\"F\" is out of range"},
      {doc(R"("sdk": {"tables": {"T": {"1": {"F": 1e2}}}})"),
       {},
       "sdk.tables.\"T\".\"1\".\"F\" must be an integer"},
      {doc(R"("host": {"commands": {"c": {"status": -2147483648}}})"),
       [](const Snapshot& s) { EXPECT_EQ(s.host_commands.at("c").status, -2147483648); }, ""},
      {doc(R"("host": {"commands": {"c": {"status": 2147483648}}})"),
       {},
       "host.commands.\"c\".status is out of range"},
      // Strings: escapes decoded, what JSON forbids refused.
      {doc(R"("sdk": {"commands": {"\u0061": "a\"b\\c\/d\b\f\n\r\t\u0000\u00fc\ud83d\ude00"}})"),
       [](const Snapshot& s) {
         EXPECT_EQ(s.sdk_commands.at("a"),
                   std::string("a\"b\\c/d\b\f\n\r\t") + '\0' + "\xC3\xBC\xF0\x9F\x98\x80");
       },
       ""},
      {doc("\"description\": \"\xC3\""), {}, "not valid JSON at line 1, column "},
      {doc(R"("description": "\ud800")"), {}, "not valid JSON at line 1, column "},
      {doc(R"("description": "\q")"), {}, "not valid JSON at line 1, column "},
      {doc("\"description\": \"tab\there\""), {}, "not valid JSON at line 1, column "},
      // Around the document: a byte order mark is skipped, nothing may follow.
      {"\xEF\xBB\xBF" + doc(R"("sdk": {"commands": {"a": "1"}})"), command("a", "1"), ""},
      {doc("") + "\n\n", {}, ""},
      {doc("") + " x", {}, "not valid JSON at line 1, column 47: syntax error"},
      {doc(R"("unknown": [tru])"), {}, "not valid JSON at line 1, column "},
      {doc(R"("unknown": [1,])"), {}, "not valid JSON at line 1, column "},
      {doc(R"("unknown": )" + std::string(5000, '[') + std::string(5000, ']')), {}, ""},
      {"null", {}, "not a grpaudit snapshot (not a JSON object)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 160));
    if (!c.error.empty()) {
      EXPECT_THAT(error_of([&] { parse_snapshot(c.text, "x.json"); }),
                  ::testing::StartsWith("snapshot x.json: " + c.error));
      continue;
    }
    const Snapshot s = parse_snapshot(c.text, "x.json");
    if (c.check) c.check(s);
  }
}

std::vector<std::string> words(const std::string& key) {
  std::vector<std::string> out;
  std::size_t from = 0;
  for (std::size_t at; (at = key.find(' ', from)) != std::string::npos; from = at + 1)
    out.push_back(key.substr(from, at - from));
  out.push_back(key.substr(from));
  return out;
}

// The replay of a loaded file finds its answers through indexes: every text
// of the snapshot, the table rows and what was not recorded answer as the
// plain replay answers them. The file may change under it.
TEST(SnapshotReading, AReplayOfALoadedFileAnswersAsThePlainReplay) {
  Snapshot want = switchgen::generate({.seed = 1, .scale = 0.02}).snapshot;
  want.sdk_tables["T"] = {{"0", {{"f", 1}}},
                          {"1", {{"f", 2}}},
                          {"3", {{"f", 4}}},
                          {"01", {{"f", 5}}},
                          {"9223372036854775807", {{"f", 6}}}};
  const testing::TempDir dir;
  const std::string path = dir.write("switch.json", snapshot_to_json(want));
  const Platform p = load_replay_platform(path);
  dir.write("switch.json", doc(""));

  const Platform plain = make_replay_platform(std::make_shared<const Snapshot>(want));
  const auto shell = p.sdk_shell(0);
  const auto plain_shell = plain.sdk_shell(0);
  for (const auto& [cmd, out] : want.sdk_commands) {
    EXPECT_EQ(shell->run(cmd), out);
    EXPECT_EQ(*shell->run_shared(cmd), out);
  }
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::vector<std::string> tables = {"no such table"};
  for (const auto& [table, rows] : want.sdk_tables) tables.push_back(table);
  for (const auto& table : tables) {
    for (const std::int64_t start : {std::int64_t{-1}, std::int64_t{0}, std::int64_t{1}, kMax}) {
      for (const std::int64_t entries : {0, 1, 3, 5000}) {
        SCOPED_TRACE(table + " " + std::to_string(start) + " " + std::to_string(entries));
        EXPECT_EQ(shell->gettable(table, true, start, entries),
                  plain_shell->gettable(table, true, start, entries));
      }
    }
  }
  EXPECT_EQ(error_of([&] { shell->run("not recorded"); }),
            error_of([&] { plain_shell->run("not recorded"); }));
  // A program not recorded cannot be started in both; the file's replay says
  // which file lacks it.
  EXPECT_EQ(
      error_of([&] {
        p.host->run({"/bin/not", "recorded"});
      }),
      "snapshot " + path + " has no answer for `/bin/not recorded`: No such file or directory");
  EXPECT_THROW(plain.host->run({"/bin/not", "recorded"}), std::system_error);
  for (const auto& [key, cmd] : want.host_commands) {
    const RunResult r = p.host->run(words(key));
    EXPECT_EQ(r.status, cmd.status);
    EXPECT_EQ(r.out, cmd.stdout_text);
    EXPECT_EQ(*p.host->run_shared(words(key)).out, cmd.stdout_text);
  }
  for (const auto& [path, text] : want.host_files) EXPECT_EQ(p.host->read_file(path), text);
}

TEST(SnapshotReading, TheCommandReportsAsFromAPipe) {
  const std::string text =
      snapshot_to_json(switchgen::generate({.seed = 3, .scale = 0.05}).snapshot);
  const testing::TempDir dir;
  const std::string path = dir.write("switch.json", text);
  const std::string pipe = dir.path() + "/pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{}, std::vector<std::string>{"--json"}}) {
    std::thread writer([&] { std::ofstream(pipe) << text; });
    auto args = options;
    args.insert(args.begin(), {"check", "--snapshot", pipe});
    const auto from_pipe = testing::run_cli(args);
    writer.join();
    args[2] = path;
    const auto from_file = testing::run_cli(args);
    EXPECT_EQ(from_file.status, 1);
    EXPECT_EQ(from_file.status, from_pipe.status);
    EXPECT_EQ(from_file.out, from_pipe.out);
  }
}

}  // namespace
}  // namespace grpaudit::platform
