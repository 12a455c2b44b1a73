// A switch checks and dumps alike whatever layout its listings come in.
//
// Generated switches are printed in their default layout and in several
// others (columns in another order, unknown columns, tabs, other line ends,
// blank and trailing lines, JSON spaced and ordered otherwise). Every layout
// must give the default layout's `check --json` and `dump` byte for byte;
// both route readers must read the same routes; and where a reader or a
// lookup takes a shortcut, it must read every layout as its plain twin does.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "grpaudit/asic/asic.h"
#include "grpaudit/check/audit.h"
#include "grpaudit/hw/l3_entry_mem.h"
#include "grpaudit/kern/kernel_routes.h"
#include "grpaudit/platform/snapshot.h"
#include "support/cli_run.h"
#include "support/plain_readers.h"
#include "support/test_support.h"
#include "switch_gen.h"

namespace grpaudit::testing {
namespace {

// 100 switches in four shards, which ctest runs side by side; each switch
// in its default layout and three others.
constexpr int kShards = 4;
constexpr int kSwitchesPerShard = 25;
constexpr int kLayoutsEach = 3;

// Tiny switches, and every tenth a little larger.
double scale_of(int seed) {
  return seed % 10 == 0 ? 0.002 : 0.0005;
}

// The first line where `got` differs from `want`, and the last line of
// `got` (where an error stands), or "" when they are equal: a whole report
// in a failure message says less.
std::string first_difference(const std::string& want, const std::string& got) {
  if (want == got) return "";
  std::istringstream w(want), g(got);
  std::string wl, gl, last;
  for (int line = 1;; ++line) {
    const bool more_w = static_cast<bool>(std::getline(w, wl));
    const bool more_g = static_cast<bool>(std::getline(g, gl));
    if (!more_w && !more_g) return "they differ in their line ends";
    if (wl != gl || more_w != more_g) {
      const std::string differs = "line " + std::to_string(line) + ": want \"" +
                                  (more_w ? wl : "<end>") + "\", got \"" + (more_g ? gl : "<end>") +
                                  "\"";
      for (last = gl; std::getline(g, gl);) last = gl;
      return differs + "; the last line got: \"" + last + "\"";
    }
  }
}

struct Reports {
  std::string check, check_mem, dump;
};

std::string run(std::vector<std::string> args) {
  const CliRun r = run_cli(std::move(args));
  return "exit " + std::to_string(r.status) + "\n" + r.out + r.err;
}

// `check --json`, and `dump`, of `snapshot`; with `mem_table`, also `check
// --json --mem-table`.
Reports reports(const TempDir& dir, const platform::Snapshot& snapshot, bool mem_table) {
  const std::string path = dir.write("switch.json", platform::snapshot_to_json(snapshot));
  Reports r{run({"check", "--snapshot", path, "--json"}), "", run({"dump", "--snapshot", path})};
  if (mem_table) r.check_mem = run({"check", "--snapshot", path, "--json", "--mem-table"});
  return r;
}

std::string vrf_name(std::int64_t id) {
  return "vrf" + std::to_string(id);
}

std::string sdk(const platform::Snapshot& s, const std::string& cmd) {
  return s.sdk_commands.at(cmd);
}

class Layouts : public ::testing::TestWithParam<int> {};

// The two route readers agree on the default layout as the whole command
// sees it, and on every layout as readers: both read the default layout's
// routes, each as its plain twin does.
TEST_P(Layouts, EveryLayoutChecksAndDumpsAsTheDefaultOne) {
  const TempDir dir;
  for (int n = 0; n < kSwitchesPerShard; ++n) {
    const int seed = 1 + GetParam() * kSwitchesPerShard + n;
    const switchgen::Params params{.seed = static_cast<std::uint64_t>(seed),
                                   .scale = scale_of(seed)};
    const auto base_switch = switchgen::generate(params);
    const Reports base = reports(dir, base_switch.snapshot, true);
    ASSERT_EQ(base.check.rfind("exit 1\n{", 0), 0u) << base.check;
    ASSERT_EQ(first_difference(base.check, base.check_mem), "") << "seed " << seed;
    const std::string base_routes =
        route_reading(hw::parse_ipmc_table, sdk(base_switch.snapshot, "ipmc table show"), vrf_name);

    for (int k = 1; k <= kLayoutsEach; ++k) {
      switchgen::Params p = params;
      p.layout = static_cast<std::uint64_t>(seed) * 8 + static_cast<std::uint64_t>(k);
      std::ostringstream how;
      how << "grpaudit-gen --seed " << p.seed << " --scale " << p.scale << " --layout " << p.layout;
      SCOPED_TRACE(how.str());
      const auto gen = switchgen::generate(p);
      ASSERT_NE(gen.snapshot, base_switch.snapshot);
      const Reports r = reports(dir, gen.snapshot, false);
      EXPECT_EQ(first_difference(base.check, r.check), "");
      EXPECT_EQ(first_difference(base.dump, r.dump), "");

      const std::string ipmc = sdk(gen.snapshot, "ipmc table show");
      const std::string mem = sdk(gen.snapshot, "dump chg l3_entry_ipv4_multicast");
      const std::string routes = route_reading(hw::parse_ipmc_table, ipmc, vrf_name);
      EXPECT_EQ(routes, base_routes);
      EXPECT_EQ(routes, route_reading(plain_ipmc_table, ipmc, vrf_name));
      EXPECT_EQ(route_reading(hw::parse_l3_entry_ipmc_table, mem, vrf_name), base_routes);
      EXPECT_EQ(route_reading(plain_l3_entry_table, mem, vrf_name), base_routes);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, Layouts, ::testing::Range(0, kShards));

// mroute_eq's answer for every kernel route that is compared (or the
// audit's), then every hardware route with the messages recorded on it.
std::string verdicts(Asic& asic, const std::map<std::string, kern::KernelRoute>& kernel,
                     bool indexed) {
  std::string out;
  if (indexed) {
    // Audited twice, the routes hold one audit's messages.
    (void)asic.audit(kernel, {});
    for (const auto& r : asic.audit(kernel, {}).routes) {
      if (r.kernel == nullptr || r.status == check::Status::kUnresolved) continue;
      out +=
          std::string(r.key) + (r.status == check::Status::kMismatch ? " differs\n" : " equal\n");
    }
  } else {
    check::AcceptingChecker checker;
    for (const auto& [key, route] : kernel) {
      if (route.state == "unresolved") continue;
      out += key + (asic.mroute_eq(key, route.iif, route.oil, checker) ? " equal\n" : " differs\n");
    }
  }
  for (const auto& [key, route] : asic.mroutes) out += route.str() + "\n";
  return out;
}

// The readers and lookups that keep indexes or memos, against the plain
// way on a few layouts: replication groups read from the whole listing and
// group by group, and the audit with its indexes against mroute_eq route by
// route on an Asic without them. And the egress lookup, which check never
// asks, answers every layout alike.
TEST(LayoutsPlain, IndexedReadingsAndLookupsAnswerAsThePlainOnesInEveryLayout) {
  std::string default_egress;
  for (const std::uint64_t layout : {0, 3, 12, 25, 40}) {
    SCOPED_TRACE("layout " + std::to_string(layout));
    const auto gen = switchgen::generate({.seed = 11, .scale = 0.01, .layout = layout});
    const auto snapshot = std::make_shared<const platform::Snapshot>(gen.snapshot);
    Asic whole(platform::make_replay_platform(snapshot));
    Asic alone(platform::make_replay_platform(snapshot));
    alone.replication_groups.clear();
    const std::string listing = sdk(gen.snapshot, "multicast show");
    for (std::size_t at = listing.find("Group"); at != std::string::npos;) {
      const std::size_t next = listing.find("Group", at + 5);
      alone._parse_one_multicast_repln_group(std::string_view(listing).substr(
          at + 5, next == std::string::npos ? next : next - at - 5));
      at = next;
    }
    ASSERT_EQ(whole.replication_groups.size(), alone.replication_groups.size());
    for (const auto& [id, group] : whole.replication_groups) {
      EXPECT_EQ(group.str(), alone.replication_groups.at(id).str());
    }

    const auto kernel = kern::read_kernel_routes(*whole.host());
    const std::string indexed = verdicts(whole, kernel, true);
    const std::string plain = verdicts(alone, kernel, false);
    ASSERT_NE(indexed.find(" differs\n"), std::string::npos);
    EXPECT_EQ(first_difference(plain, indexed), "");

    // The egress table, read afresh for each question, by word position.
    std::string egress;
    for (const std::string id : {"100001", "100002", "100007", "1", "x"}) {
      const auto answer = whole.get_l3_egress(id);
      egress += id + (answer ? " " + answer->first + " " + answer->second : " none") + "\n";
    }
    if (layout == 0) default_egress = egress;
    EXPECT_EQ(egress, default_egress);
  }
}

}  // namespace
}  // namespace grpaudit::testing
