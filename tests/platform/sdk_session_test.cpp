// The SDK shell as one session: where an answer ends, and what a session
// that dies, hangs or never prompts leaves (an error the readers convert,
// and no process).

#include "grpaudit/platform/sdk_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/recorder.h"
#include "grpaudit/platform/snapshot.h"
#include "support/fake_switch.h"
#include "support/test_support.h"

namespace grpaudit::platform {
namespace {

using namespace std::chrono_literals;

TEST(SdkSession, ThePromptIsTheWholeLastLine) {
  const SdkPrompt prompt(kDefaultSdkPrompt);
  const struct {
    std::string output;
    std::optional<std::size_t> at;
  } cases[] = {
      {"sdk.0> ", 0},
      {"vlan 1\nsdk.0> ", 7},
      {"vlan 1\r\nsdk.0> ", 8},
      {"a note: sdk.0> inside\nsdk.0> ", 22},
      {"vlan 1\nsdk.0", std::nullopt},        // not yet whole
      {"vlan 1\nsdk.0> more", std::nullopt},  // a line that goes on
      {"vlan 1\n", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    EXPECT_EQ(prompt.at_end(c.output), c.at);
  }
  EXPECT_THROW(SdkPrompt("(unclosed"), std::invalid_argument);
  EXPECT_THROW(SdkPrompt(".*"), std::invalid_argument);  // every line end would be one
}

class Session : public ::testing::Test {
 protected:
  // A session of the stand-in shell over `sw`, with its options.
  std::unique_ptr<asicterm::asicterm> open(testing::FakeSwitch& sw, const std::string& options = "",
                                           std::chrono::milliseconds timeout = 5s) {
    const std::string snap = dir_.path() + "/switch.json";
    save_snapshot(sw.snapshot(), snap);
    return make_sdk_session(
        std::string(GRPAUDIT_STANDIN_SDK) + " --session " + snap + " " + options, kDefaultSdkPrompt,
        timeout);
  }
  testing::TempDir dir_;
};

// The processes this one has started and not reaped.
std::string children() {
  std::string all;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
    all += testing::read_file(task.path().string() + "/children");
  return all;
}

TEST_F(Session, AnswersAsTheSwitchPrintsThemPromptLikeTextIncluded) {
  testing::FakeSwitch sw;
  sw.sdk("show unit", "Unit 0 chip BCM56850\n")
      .sdk("echo", "sdk.0> is the prompt\nsdk.0> and this line goes on\n")
      .sdk("silent", "")
      .sdk("crlf", "a\r\nb\r\n")
      .table_entry("L3_ENTRY", 0, {{"VALID", 1}, {"L3MC_INDEX", 7}})
      .table_entry("L3_ENTRY", 1, {{"VALID", 0}});
  const auto shell = open(sw, "--banner Welcome");
  for (const auto& [cmd, out] : sw.snapshot().sdk_commands) EXPECT_EQ(shell->run(cmd), out) << cmd;
  EXPECT_EQ(shell->gettable("L3_ENTRY", true, 0, 5),
            (std::vector<asicterm::Fields>{{{"L3MC_INDEX", 7}, {"VALID", 1}}, {{"VALID", 0}}}));
  EXPECT_THROW(shell->run("two\nlines"), std::invalid_argument);
}

TEST_F(Session, ASessionThatDiesOrHangsIsKilledAndTheNextCommandStartsAnew) {
  testing::FakeSwitch sw;
  sw.sdk("show unit", "Unit 0 chip BCM56850 and a long line\n");
  for (const std::string options : {"--die-after 2", "--mute-after 2", "--prompt other#"}) {
    SCOPED_TRACE(options);
    const auto shell = open(sw, options, 300ms);
    if (options.find("prompt") == std::string::npos) {
      EXPECT_EQ(shell->run("show unit"), sw.snapshot().sdk_commands.at("show unit"));
    }
    EXPECT_THROW(shell->run("show unit"), ShellIoError);
    EXPECT_EQ(children(), "");
    // The next command starts a new session.
    if (options.find("prompt") == std::string::npos) {
      EXPECT_EQ(shell->run("show unit"), sw.snapshot().sdk_commands.at("show unit"));
    }
  }
}

}  // namespace
}  // namespace grpaudit::platform
