#include "grpaudit/platform/snapshot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "grpaudit/platform/errors.h"
#include "support/test_support.h"

namespace grpaudit::platform {
namespace {

using ::testing::StartsWith;

std::string doc(const std::string& members) {
  return R"({"format": "grpaudit-snapshot", "version": 1)" +
         (members.empty() ? "" : ", " + members) + "}";
}

template <typename F>
std::string error_of(F&& f) {
  try {
    f();
  } catch (const SnapshotError& e) {
    return e.what();
  }
  return "(no error)";
}
std::string parse_error(const std::string& text) {
  return error_of([&] { parse_snapshot(text, "x.json"); });
}
std::string load_error(const std::string& path) {
  return error_of([&] { load_snapshot(path); });
}

TEST(Snapshot, ParsesEverySection) {
  const Snapshot s = parse_snapshot(doc(R"(
    "description": "lab switch", "unknown": [1],
    "sdk": {"commands": {"vlan show 100": "vlan 100"}, "other": 1,
            "tables": {"VLAN": {"100": {"L3_IIF": 7, "VALID": -1}}}},
    "port_table": {"linux_ports": ["swp1", "swp2"], "sdk_to_linux": {"xe0": "swp1"}},
    "vrfs": {"0": "default", "2": "blue"},
    "host": {"commands": {"/bin/ip -d link show br0": {"status": 1, "stdout": "out"},
                          "/bin/true": {}},
             "files": {"/proc/net/vlan/config": "cfg"},
             "dirs": {"/sys/class/net/br0/brif": ["swp1", "swp2"]}})"),
                                    "x.json");
  EXPECT_EQ(s.description, "lab switch");
  EXPECT_EQ(s.sdk_commands.at("vlan show 100"), "vlan 100");
  EXPECT_EQ(s.sdk_tables.at("VLAN").at("100"), (asicterm::Fields{{"L3_IIF", 7}, {"VALID", -1}}));
  EXPECT_EQ(s.linux_ports, (std::vector<std::string>{"swp1", "swp2"}));
  EXPECT_EQ(s.sdk_to_linux.at("xe0"), "swp1");
  EXPECT_EQ(s.vrfs.at("2"), "blue");
  EXPECT_EQ(s.host_commands.at("/bin/ip -d link show br0"), (HostCommand{1, "out"}));
  EXPECT_EQ(s.host_commands.at("/bin/true"), (HostCommand{0, ""}));
  EXPECT_EQ(s.host_files.at("/proc/net/vlan/config"), "cfg");
  EXPECT_EQ(s.host_dirs.at("/sys/class/net/br0/brif").size(), 2u);
}

TEST(Snapshot, AbsentSectionsAreEmpty) {
  EXPECT_EQ(parse_snapshot(doc(""), "x"), Snapshot{});
}

TEST(Snapshot, RejectsBadDocumentsNamingThePlace) {
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"", "not valid JSON at line 1, column 1: syntax error"},
      {"{\n  \"format\": x\n}", "not valid JSON at line 2, column 13: syntax error"},
      // Columns count characters, not bytes.
      {"\"\xC3\xBC\" x", "not valid JSON at line 1, column 5: syntax error"},
      {"[]", "not a grpaudit snapshot (not a JSON object)"},
      {"{\"version\": 1}", "not a grpaudit snapshot (no format)"},
      {R"({"format": "foo", "version": 1})", "not a grpaudit snapshot (format is \"foo\")"},
      {R"({"format": 3, "version": 1})", "not a grpaudit snapshot (format is 3)"},
      {R"({"format": "grpaudit-snapshot"})", "no version"},
      {R"({"format": "grpaudit-snapshot", "version": 2})", "unsupported version 2"},
      {R"({"format": "grpaudit-snapshot", "version": "1"})", "unsupported version \"1\""},
      {R"({"format": "grpaudit-snapshot", "version": 1.0})", "unsupported version 1.0"},
      {doc(R"("description": 5)"), "description must be a string"},
      {doc(R"("recorded": [])"), "recorded must be an object"},
      {doc(R"("recorded": {"options": ["a", 1]})"), "recorded.options[1] must be a string"},
      {doc(R"("sdk": [])"), "sdk must be an object"},
      {doc(R"("sdk": {"commands": {"show unit": 3}})"),
       "sdk.commands.\"show unit\" must be a string"},
      {doc(R"("sdk": {"tables": {"VLAN": []}})"), "sdk.tables.\"VLAN\" must be an object"},
      {doc(R"("sdk": {"tables": {"VLAN": {"1": 2}}})"),
       "sdk.tables.\"VLAN\".\"1\" must be an object"},
      {doc(R"("sdk": {"tables": {"VLAN": {"1": {"L3_IIF": 7.5}}}})"),
       "sdk.tables.\"VLAN\".\"1\".\"L3_IIF\" must be an integer"},
      {doc(R"("sdk": {"tables": {"VLAN": {"1": {"L3_IIF": "7"}}}})"),
       "sdk.tables.\"VLAN\".\"1\".\"L3_IIF\" must be an integer"},
      {doc(R"("sdk": {"tables": {"VLAN": {"1": {"L3_IIF": 18446744073709551615}}}})"),
       "sdk.tables.\"VLAN\".\"1\".\"L3_IIF\" is out of range"},
      {doc(R"("port_table": {"linux_ports": "swp1"})"), "port_table.linux_ports must be an array"},
      {doc(R"("port_table": {"linux_ports": ["swp1", 2]})"),
       "port_table.linux_ports[1] must be a string"},
      {doc(R"("port_table": {"sdk_to_linux": {"xe0": 1}})"),
       "port_table.sdk_to_linux.\"xe0\" must be a string"},
      {doc(R"("vrfs": {"0": 0})"), "vrfs.\"0\" must be a string"},
      {doc(R"("host": {"commands": {"/bin/ip -j x": {"status": "0"}}})"),
       "host.commands.\"/bin/ip -j x\".status must be an integer"},
      {doc(R"("host": {"commands": {"/bin/ip -j x": {"status": 4294967296}}})"),
       "host.commands.\"/bin/ip -j x\".status is out of range"},
      {doc(R"("host": {"commands": {"/bin/ip": {"stdout": 1}}})"),
       "host.commands.\"/bin/ip\".stdout must be a string"},
      {doc(R"("host": {"commands": {"/bin/ip": "out"}})"),
       "host.commands.\"/bin/ip\" must be an object"},
      {doc(R"("host": {"files": {"/p": 1}})"), "host.files.\"/p\" must be a string"},
      {doc(R"("host": {"dirs": {"/d": "a"}})"), "host.dirs.\"/d\" must be an array"},
      {doc(R"("host": {"dirs": {"/d": [null]}})"), "host.dirs.\"/d\"[0] must be a string"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_THAT(parse_error(c.text), StartsWith("snapshot x.json: " + c.message));
  }
}

TEST(Snapshot, LoadNamesTheFile) {
  const testing::TempDir dir;
  const std::string missing = dir.path() + "/none.json";
  EXPECT_EQ(load_error(missing),
            "snapshot " + missing + ": cannot read: No such file or directory");
  EXPECT_EQ(load_error(dir.path()), "snapshot " + dir.path() + ": cannot read: Is a directory");
  const std::string bad = dir.write("bad.json", "{}");
  EXPECT_EQ(load_error(bad), "snapshot " + bad + ": not a grpaudit snapshot (no format)");
}

TEST(Snapshot, RoundTripsThroughJson) {
  Snapshot s;
  s.description = "quotes \" and \xC3\xBC";
  s.recorded = Recording{"2026-12-09T03:59:16Z", "grpaudit 0.1.0", "leaf1", {"check", "--json"}};
  s.sdk_commands = {{"ipmc table show", "line 1\nline 2\n"}, {"show unit", ""}};
  s.sdk_tables = {{"VLAN", {{"100", {{"L3_IIF", 7}}}, {"9", {{"A", -9223372036854775807 - 1}}}}}};
  s.linux_ports = {"swp2", "swp1"};  // order is kept, not sorted
  s.sdk_to_linux = {{"xe0", "swp1"}};
  s.vrfs = {{"0", "default"}};
  s.host_commands = {{"/bin/ip -j link", {-9, "[]"}}, {"/bin/true", {0, ""}}};
  s.host_files = {{"/proc/net/vlan/config", "cfg\n"}};
  s.host_dirs = {{"/sys/class/net/br0/brif", {"swp1"}}, {"/empty", {}}};

  const std::string text = snapshot_to_json(s);
  EXPECT_EQ(parse_snapshot(text, "x"), s);
  EXPECT_EQ(snapshot_to_json(parse_snapshot(text, "x")), text);
  EXPECT_THAT(text, StartsWith("{\n  \"format\": \"grpaudit-snapshot\",\n  \"version\": 1,\n"
                               "  \"description\":"));

  const testing::TempDir dir;
  EXPECT_EQ(load_snapshot(dir.write("s.json", text)), s);
}

TEST(Snapshot, HostCommandKeyJoinsWithSingleBlanks) {
  EXPECT_EQ(host_command_key({"/bin/ip", "-d", "link"}), "/bin/ip -d link");
  EXPECT_EQ(host_command_key({"/bin/echo", "", "x"}), "/bin/echo  x");
  EXPECT_EQ(host_command_key({}), "");
}

}  // namespace
}  // namespace grpaudit::platform
