// The MLAG peer interface joins the originating devices when the peer is alive.

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "grpaudit/asic/asic.h"
#include "support/fake_switch.h"

namespace grpaudit {
namespace {

using testing::FakeSwitch;
using Names = std::vector<std::string>;

constexpr const char* kTool = "/usr/bin/twynctl -v";
constexpr const char* kPeerLine = "Peer Interface and IP: peerlink.4094 169.254.1.2\n";

// ORIG_DEV is one list for the process: every test starts and ends with "lo".
class MlagPeer : public ::testing::Test {
 protected:
  void SetUp() override { Asic::ORIG_DEV = {"lo"}; }
  void TearDown() override { Asic::ORIG_DEV = {"lo"}; }
};

FakeSwitch with_tool(int status, const std::string& out) {
  FakeSwitch sw;
  sw.host_cmd(kTool, status, out);
  return sw;
}

TEST_F(MlagPeer, OnlyALivePeerOnTheFirstLineAddsTheFirstPeerInterface) {
  const struct {
    int status;
    std::string out;
    Names orig_dev;
  } cases[] = {
      {0,
       std::string("The peer is alive\nOur Role: primary\n") + kPeerLine,
       {"lo", "peerlink.4094"}},
      {0, std::string("The peer is alive\r\n  ") + kPeerLine, {"lo", "peerlink.4094"}},
      {0,
       std::string("The peer is alive\n") + kPeerLine + "Peer Interface and IP: other 10.0.0.1\n",
       {"lo", "peerlink.4094"}},
      {0, std::string("\nThe peer is alive\n") + kPeerLine, {"lo"}},
      {0, std::string("Our Role: secondary\nThe peer is alive\n") + kPeerLine, {"lo"}},
      {0, std::string("The peer is alive \n") + kPeerLine, {"lo"}},
      {0, std::string("The peer is not alive\n") + kPeerLine, {"lo"}},
      {0, "The peer is alive\nOur Role: primary\n", {"lo"}},
      {0, "", {"lo"}},
      {1, std::string("The peer is alive\n") + kPeerLine, {"lo"}},  // the tool failed
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    Asic::ORIG_DEV = {"lo"};
    Asic asic(with_tool(c.status, c.out).platform());
    EXPECT_EQ(Asic::ORIG_DEV, c.orig_dev);
  }
}

TEST_F(MlagPeer, NoToolIsNoMlagSwitch) {
  const Asic asic(FakeSwitch().platform());  // the tool cannot be started
  EXPECT_EQ(Asic::ORIG_DEV, Names{"lo"});
}

TEST_F(MlagPeer, AToolThatHangsIsAWarningAndNoPeer) {
  // The live host's answer to a command that outlives its time.
  struct HangingTool : Host {
    explicit HangingTool(std::shared_ptr<Host> inner) : inner(std::move(inner)) {}
    RunResult run(const std::vector<std::string>& argv) override {
      if (argv.at(0) != "/usr/bin/twynctl") return inner->run(argv);
      throw std::system_error(ETIMEDOUT, std::generic_category(),
                              std::string(kTool) + " gave no answer within 60 s");
    }
    int run_shell(const std::string& c) override { return inner->run_shell(c); }
    bool is_regular_file(const std::string& p) override { return inner->is_regular_file(p); }
    bool is_directory(const std::string& p) override { return inner->is_directory(p); }
    std::string read_file(const std::string& p) override { return inner->read_file(p); }
    std::vector<std::string> list_dir(const std::string& p) override { return inner->list_dir(p); }
    std::shared_ptr<Host> inner;
  };
  Platform platform = with_tool(0, std::string("The peer is alive\n") + kPeerLine).platform();
  platform.host = std::make_shared<HangingTool>(platform.host);
  const Asic asic(platform);
  EXPECT_EQ(Asic::ORIG_DEV, Names{"lo"});
  EXPECT_EQ(asic.warnings().texts(),
            Names{"/usr/bin/twynctl -v gave no answer within 60 s: Connection timed out; the MLAG "
                  "peer is taken as down"});
  // A switch without the tool is no MLAG switch, and no warning.
  EXPECT_TRUE(Asic(FakeSwitch().platform()).warnings().empty());
}

TEST_F(MlagPeer, APeerLineWithoutAnInterfaceFailsConstruction) {
  const FakeSwitch sw = with_tool(0, "The peer is alive\nPeer Interface and IP:\n");
  EXPECT_THROW(Asic{sw.platform()}, std::out_of_range);
  EXPECT_EQ(Asic::ORIG_DEV, Names{"lo"});
}

TEST_F(MlagPeer, EveryConstructionAppendsAgainAndRoutesFromThePeerAreOriginated) {
  const FakeSwitch sw = with_tool(0, std::string("The peer is alive\n") + kPeerLine);
  Asic first(sw.platform());
  Asic second(sw.platform());
  EXPECT_EQ(Asic::ORIG_DEV, (Names{"lo", "peerlink.4094", "peerlink.4094"}));

  struct Checker : MrouteChecker {
    bool check_orig_mroute(Asic&, const std::optional<std::string>&,
                           const std::optional<std::string>&) override {
      return false;
    }
    bool check_term_mroute(const std::optional<std::string>&,
                           const std::optional<std::string>&) override {
      return true;
    }
  } checker;
  const auto cmp =
      first.compare_mroute("default, (10.1.1.1,239.1.1.1)", "peerlink.4094", {"swp1"}, checker);
  EXPECT_EQ(cmp.outcome, Asic::MrouteOutcome::kOriginated);
  EXPECT_FALSE(cmp.equal);
}

}  // namespace
}  // namespace grpaudit
