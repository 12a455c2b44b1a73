// The kernel's links answered from one listing: how a listing splits into
// blocks, and which requests the batching host answers and which it runs.

#include "grpaudit/platform/link_batch.h"

#include <gtest/gtest.h>

#include <fmt/format.h>

#include <map>
#include <string>
#include <vector>

namespace grpaudit::platform {
namespace {

using Blocks = std::map<std::string, std::string, std::less<>>;

TEST(LinkBatch, AListingSplitsIntoOneBlockPerDevice) {
  const std::string lo = "1: lo: <LOOPBACK,UP> mtu 65536\n    link/loopback 00:00\n";
  const std::string veth = "3: swp1@swp1p: <UP> mtu 1500 master br0\n\tveth \n    bridge_slave x\n";
  const struct {
    std::string listing;
    std::optional<Blocks> blocks;
  } cases[] = {
      {lo + veth, Blocks{{"lo", lo}, {"swp1", veth}}},
      {"", Blocks{}},
      // The last line without its end, as a truncated listing ends.
      {"7: br0: <UP> mtu 1500\n    bridge", Blocks{{"br0", "7: br0: <UP> mtu 1500\n    bridge"}}},
      // One name twice: neither block can be trusted.
      {lo + "9: lo@x: <UP>\n" + veth, Blocks{{"swp1", veth}}},
      // Lines of no block, or not of the form: the real command answers.
      {"    orphan\n" + lo, std::nullopt},
      {lo + "Error: something\n", std::nullopt},
      {lo + "x: br0: <UP>\n", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.listing);
    EXPECT_EQ(split_link_listing(c.listing), c.blocks);
  }
}

// A host that answers from a table and counts what it ran.
struct CountingHost : Host {
  std::map<std::string, RunResult> answers;
  std::vector<std::string> ran;
  RunResult run(const std::vector<std::string>& argv) override {
    const std::string key = fmt::format("{}", fmt::join(argv, " "));
    ran.push_back(key);
    const auto it = answers.find(key);
    return it == answers.end() ? RunResult{1, ""} : it->second;
  }
  int run_shell(const std::string&) override { return 0; }
  bool is_regular_file(const std::string&) override { return false; }
  bool is_directory(const std::string&) override { return false; }
  std::string read_file(const std::string&) override { return ""; }
  std::vector<std::string> list_dir(const std::string&) override { return {}; }
};

std::vector<std::string> link(const std::string& dev) {
  return {"/bin/ip", "-d", "link", "show", dev};
}

TEST(LinkBatch, DevicesOfTheListingAreAnsweredFromItAndOthersRunForReal) {
  const std::string br0 = "2: br0: <UP>\n    bridge\n";
  for (const int listing_status : {0, 1}) {
    SCOPED_TRACE(listing_status);
    const auto inner = std::make_shared<CountingHost>();
    inner->answers["/bin/ip -d link show"] = {listing_status, br0};
    inner->answers["/bin/ip -d link show late0"] = {0, "5: late0: <UP>\n"};
    const auto host = with_link_batch(inner);

    EXPECT_EQ(host->run(link("br0")).out, listing_status == 0 ? br0 : "");
    EXPECT_EQ(host->run_shared(link("br0")).status, listing_status);
    EXPECT_EQ(host->run(link("late0")).out, "5: late0: <UP>\n");
    EXPECT_EQ(host->run(link("nosuch0")).status, 1);
    host->run({"/bin/ip", "-d", "link", "show", "br0", "extra"});

    std::vector<std::string> ran = {"/bin/ip -d link show"};
    if (listing_status != 0) ran.insert(ran.end(), 2, "/bin/ip -d link show br0");
    ran.insert(ran.end(), {"/bin/ip -d link show late0", "/bin/ip -d link show nosuch0",
                           "/bin/ip -d link show br0 extra"});
    EXPECT_EQ(inner->ran, ran);
  }
}

}  // namespace
}  // namespace grpaudit::platform
