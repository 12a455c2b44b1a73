// The MLAG peer interface joins the originating devices when the peer is alive.

#include <gtest/gtest.h>

#include <stdexcept>

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
