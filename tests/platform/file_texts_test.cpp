// Long texts left in the snapshot file: found where they stand, checked as
// the JSON parser checks them, decoded to the same bytes, and refused once
// the file has changed.

#include <gtest/gtest.h>

#include <simdjson.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/file_texts.h"
#include "grpaudit/platform/snapshot_parse.h"
#include "support/cli_run.h"
#include "support/test_support.h"
#include "switch_gen.h"

namespace grpaudit::platform {
namespace {

std::string doc(const std::string& members) {
  return R"({"format": "grpaudit-snapshot", "version": 1)" +
         (members.empty() ? "" : ", " + members) + "}";
}

std::vector<std::string> words(const std::string& key) {
  std::vector<std::string> out;
  std::size_t from = 0;
  for (std::size_t at; (at = key.find(' ', from)) != std::string::npos; from = at + 1)
    out.push_back(key.substr(from, at - from));
  out.push_back(key.substr(from));
  return out;
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

// Every text of `want`, asked of `p` in every way there is; table rows and
// what was not recorded as the plain replay of `want` answers them.
void expect_same_answers(const Snapshot& want, const Platform& p) {
  const auto shell = p.sdk_shell(0);
  for (const auto& [cmd, out] : want.sdk_commands) {
    SCOPED_TRACE(cmd);
    EXPECT_EQ(shell->run(cmd), out);
    EXPECT_EQ(*shell->run_shared(cmd), out);
  }
  const Platform plain = make_replay_platform(std::make_shared<const Snapshot>(want));
  const auto plain_shell = plain.sdk_shell(0);
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::vector<std::string> tables = {"no such table"};
  for (const auto& [table, rows] : want.sdk_tables) tables.push_back(table);
  for (const auto& table : tables) {
    for (const std::int64_t start :
         {std::int64_t{-1}, std::int64_t{0}, std::int64_t{1}, std::int64_t{10}, kMax - 1, kMax}) {
      for (const std::int64_t entries : {0, 1, 3, 5000}) {
        SCOPED_TRACE(table + " " + std::to_string(start) + " " + std::to_string(entries));
        EXPECT_EQ(shell->gettable(table, true, start, entries),
                  plain_shell->gettable(table, true, start, entries));
      }
    }
  }
  const std::string unrecorded = error_of([&] { shell->run("not recorded"); });
  EXPECT_NE(unrecorded, "");
  EXPECT_EQ(unrecorded, error_of([&] { plain_shell->run("not recorded"); }));
  const std::string not_run = error_of([&] { p.host->run({"/bin/not", "recorded"}); });
  EXPECT_NE(not_run, "");
  EXPECT_EQ(not_run, error_of([&] { plain.host->run({"/bin/not", "recorded"}); }));
  for (const auto& [key, cmd] : want.host_commands) {
    SCOPED_TRACE(key);
    const auto argv = words(key);
    const RunResult r = p.host->run(argv);
    EXPECT_EQ(r.status, cmd.status);
    EXPECT_EQ(r.out, cmd.stdout_text);
    EXPECT_EQ(*p.host->run_shared(argv).out, cmd.stdout_text);
  }
  for (const auto& [path, text] : want.host_files) {
    SCOPED_TRACE(path);
    EXPECT_EQ(p.host->read_file(path), text);
  }
}

TEST(FileTexts, AReplayFromTheFileAnswersAsTheSnapshot) {
  const std::string big(300, 'x');
  const std::string lines = "one\\ntwo\\n\\u001b[0m" + big;
  struct Case {
    std::string text;
    std::size_t in_file;  // texts left in the file, with 16 bytes the shortest
  };
  const std::vector<Case> cases = {
      {doc(R"("sdk": {"commands": {"show a": ")" + lines + R"(", "show b": "short"}})"), 1},
      {doc(R"("host": {"commands": {"/bin/cat /x": {"status": 3, "stdout": ")" + lines +
           R"("}}, "files": {"/proc/x": ")" + big + R"("}})"),
       2},
      // Without any blank between the tokens, and with many.
      {R"({"format":"grpaudit-snapshot","version":1,"sdk":{"commands":{"a":")" + big +
           R"("}},"host":{"files":{"/f":")" + big + R"("}}})",
       2},
      {"{\n\t\"format\" :\r\n \"grpaudit-snapshot\" , \"version\" : 1 ,\n \"sdk\" : { "
       "\"commands\" : { \"a\" :\n \"" +
           big + "\" \t}\n}\n}\n",
       1},
      // Keys spelled with escapes.
      {doc(R"("\u0073dk": {"comm\u0061nds": {"sh\u006fw": ")" + big + R"("}})"), 1},
      // Given twice: the last counts, whether long or short.
      {doc(R"("sdk": {"commands": {"a": ")" + big + R"(", "a": "short"}})"), 0},
      {doc(R"("sdk": {"commands": {"a": "short", "a": ")" + big + R"(z"}})"), 1},
      {doc(R"("sdk": {"commands": {"a": ")" + big + R"(", "a": ""}})"), 0},
      {doc(R"("sdk": {"commands": {"a": "", "a": ")" + big + R"("}})"), 1},
      {doc(R"("sdk": {"commands": {"a": ")" + big + R"(1", "a": ")" + big + R"(22"}})"), 1},
      {doc(R"("sdk": {"commands": {"a": ")" + big + R"("}}, "sdk": {"commands": {"b": "2"}})"), 0},
      {doc(R"("sdk": {"commands": {"a": ")" + big + R"("}, "commands": {}})"), 0},
      {doc(R"("host": {"commands": {"c": {"stdout": ")" + big + R"("}, "c": {"status": 1}}})"), 0},
      {doc(R"("host": {"commands": {"c": {"stdout": ")" + big + R"(", "stdout": "o"}}})"), 0},
      {doc(R"("host": {"files": {"/f": ")" + big + R"("}}, "host": {"dirs": {}})"), 0},
      // JSON listings, an escape every few bytes.
      {doc(R"("host": {"commands": {"ip -j": {"stdout": "[{\"src\": \")" + big +
           R"(\", \"oifs\": {\"a\\\\b\": 1}}]\n"}}})"),
       1},
      // Texts that stay: those elsewhere.
      {doc(R"("description": ")" + big + R"(", "vrfs": {"1": ")" + big + R"("}, "x": [")" + big +
           R"("], "port_table": {"sdk_to_linux": {"xe0": ")" + big + R"("}})"),
       0},
      // What the scanner does not read: the parser decides.
      {"\xEF\xBB\xBF" + doc(R"("sdk": {"commands": {"a": ")" + big + R"("}})"), 0},
      {doc(R"("x": [)" + std::string(300, '[') + std::string(300, ']') +
           R"(], "sdk": {"commands": {"a": ")" + big + R"("}})"),
       0},
      // The reader stands aside: the checked reader decides.
      {R"({"format": "grpaudit-snapshot", "version": 1.0, "sdk": {"commands": {"a": ")" + big +
           R"("}}})",
       0},
      {doc(R"("sdk": {"commands": {"a": ")" + big + R"("}, "tables": []})"), 0},
      // Table rows, with a gap and keys that are not plain numbers.
      {doc(R"("sdk": {"commands": {"a": ")" + big +
           R"("}, "tables": {"T": {"0": {"f": 1}, "1": {"f": 2, "g": 3}, "3": {"f": 4},
           "01": {"f": 5}, "9223372036854775807": {"f": 6}}, "U": {}}})"),
       1},
  };
  const testing::TempDir dir;
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 160));
    const std::string path = dir.write("s" + std::to_string(n++) + ".json", c.text);
    const std::string error = error_of([&] { load_snapshot(path); });
    detail::ReplayLoad loaded;
    EXPECT_EQ(error_of([&] { loaded = detail::load_replay(path, 16); }), error);
    if (!error.empty()) continue;
    EXPECT_EQ(loaded.texts_in_file, c.in_file);
    expect_same_answers(load_snapshot(path), loaded.platform);
  }
}

TEST(FileTexts, AReplayFromTheFileRefusesWhatTheParserRefuses) {
  const std::string big(300, 'x');
  const std::vector<std::string> texts = {
      doc(R"("sdk": {"commands": {"a": ")" + big + "\t" + R"("}})"),
      doc(R"("sdk": {"commands": {"a": ")" + big + "\xC3" + R"("}})"),
      doc(R"("sdk": {"commands": {"a": ")" + big + R"(\q"}})"),
      doc(R"("sdk": {"commands": {"a": ")" + big + R"(\ud800"}})"),
      doc(R"("sdk": {"commands": {"a": ")" + big + R"(}})"),
      doc(R"("sdk": {"commands": {"a": ")" + big + R"("}})") + "x",
      doc(R"("sdk": {"commands": {"a": ")" + big + R"(", "b": [tru]}})"),
  };
  const testing::TempDir dir;
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 160));
    const std::string path = dir.write("s.json", text);
    const std::string error = error_of([&] { load_snapshot(path); });
    EXPECT_NE(error, "");
    EXPECT_EQ(error_of([&] { detail::load_replay(path, 16); }), error);
  }
}

TEST(FileTexts, AReplayFromTheFileOfAGeneratedSwitch) {
  const Snapshot snap = switchgen::generate({.seed = 1, .scale = 0.05}).snapshot;
  const testing::TempDir dir;
  const std::string path = dir.write("switch.json", snapshot_to_json(snap));
  const detail::ReplayLoad loaded = detail::load_replay(path, 64 * 1024);
  EXPECT_GT(loaded.texts_in_file, 0u);
  expect_same_answers(snap, loaded.platform);
}

TEST(FileTexts, AChangedFileIsRefused) {
  const std::string big(300, 'x');
  const testing::TempDir dir;
  const std::string text = doc(R"("sdk": {"commands": {"a": ")" + big + R"(", "b": "short"}})");
  const std::string path = dir.write("s.json", text);
  const std::string refused = "snapshot " + path + ": changed since it was loaded";

  // Replaced by another file of the same name: the one loaded is still read.
  {
    const detail::ReplayLoad loaded = detail::load_replay(path, 16);
    dir.write("new.json", doc(""));
    ASSERT_EQ(std::rename((dir.path() + "/new.json").c_str(), path.c_str()), 0);
    EXPECT_EQ(loaded.platform.sdk_shell(0)->run("a"), big);
    dir.write("s.json", text);
  }
  // Written over, longer or of the same length.
  for (const std::string& changed :
       {text + "\n", std::string(text).replace(text.find('x'), 1, "y")}) {
    const detail::ReplayLoad loaded = detail::load_replay(path, 16);
    ASSERT_EQ(loaded.texts_in_file, 1u);
    const auto shell = loaded.platform.sdk_shell(0);
    EXPECT_EQ(shell->run("a"), big);
    // Times of change are as fine as the file system keeps them: wait past one.
    usleep(20000);
    dir.write("s.json", changed);
    try {
      shell->run("a");
      ADD_FAILURE() << "a changed file was read";
    } catch (const SnapshotError& e) {
      EXPECT_EQ(e.what(), refused);
    }
    EXPECT_EQ(shell->run("b"), "short");  // what is held in memory still answers
    dir.write("s.json", text);
  }
}

TEST(FileTexts, TheCommandReportsAsFromAPipe) {
  // A pipe cannot be read again, so from it every text is held in memory.
  const std::string text =
      snapshot_to_json(switchgen::generate({.seed = 3, .scale = 0.05}).snapshot);
  const testing::TempDir dir;
  const std::string path = dir.write("switch.json", text);
  ASSERT_GT(detail::load_replay(path, 64 * 1024).texts_in_file, 0u);
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
