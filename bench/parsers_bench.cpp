// Every reader on its own listing, taken from the generated switch at each
// size, in MB/s of listing text.

#include <benchmark/benchmark.h>

#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "bench_support.h"
#include "benchmarks.h"
#include "grpaudit/asic/asic.h"
#include "grpaudit/hw/ipmc_table.h"
#include "grpaudit/hw/l3_entry_mem.h"
#include "grpaudit/hw/l3_intf.h"
#include "grpaudit/hw/portmap.h"
#include "grpaudit/hw/repl_groups.h"
#include "grpaudit/hw/vlan.h"
#include "grpaudit/hw/vlan_xlate.h"
#include "grpaudit/kern/kernel_routes.h"
#include "grpaudit/platform/snapshot.h"

namespace grpaudit::bench {
namespace {

// The listing a reader reads, at a size.
using Text = std::function<std::string(double scale)>;

Text sdk(const std::string& cmd) {
  return [cmd](double scale) { return snapshot(scale)->sdk_commands.at(cmd); };
}
Text host(const std::string& cmd) {
  return [cmd](double scale) { return snapshot(scale)->host_commands.at(cmd).stdout_text; };
}
Text file(const std::string& path) {
  return [path](double scale) { return snapshot(scale)->host_files.at(path); };
}

// Registers `run` on the text of each size; `run` parses the text once.
// `reset`, when given, runs untimed before each parse (to empty the caches
// an Asic reader fills).
void reader(const std::string& name, const Text& text,
            const std::function<void(const std::string&, double)>& run,
            const std::function<void(double)>& reset = {}) {
  for (const double scale : kScales) {
    benchmark::RegisterBenchmark(
        ("read " + name + "/" + scale_name(scale)).c_str(),
        [text, run, reset, scale](benchmark::State& state) {
          const std::string t = text(scale);
          for (auto _ : state) {
            if (reset) {
              state.PauseTiming();
              reset(scale);
              state.ResumeTiming();
            }
            run(t, scale);
          }
          state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * t.size()));
        })
        ->Unit(benchmark::kMillisecond)
        // Untimed runs first: the first reader to build a large table would
        // otherwise be charged for growing the heap that the others reuse.
        ->MinWarmUpTime(0.1)
        ->MinTime(0.1);
  }
}

hw::VrfNameFn vrf_names(double scale) {
  const auto snap = snapshot(scale);
  return [snap](std::int64_t id) { return snap->vrfs.at(std::to_string(id)); };
}

// An Asic of the size, built once, whose kernel caches the kernel readers
// refill on every iteration.
Asic& asic_of(double scale) {
  static std::map<double, std::unique_ptr<Asic>> made;
  auto& slot = made[scale];
  if (!slot) slot = std::make_unique<Asic>(replay(scale));
  return *slot;
}

}  // namespace

void register_reader_benchmarks() {
  reader("ipmc table show", sdk("ipmc table show"), [](const std::string& t, double scale) {
    std::map<std::string, Hmroute> routes;
    hw::parse_ipmc_table(t, vrf_names(scale), routes);
    benchmark::DoNotOptimize(routes);
  });
  reader("dump chg l3_entry_ipv4_multicast", sdk("dump chg l3_entry_ipv4_multicast"),
         [](const std::string& t, double scale) {
           std::map<std::string, Hmroute> routes;
           hw::parse_l3_entry_ipmc_table(t, vrf_names(scale), routes);
           benchmark::DoNotOptimize(routes);
         });
  reader("multicast show", sdk("multicast show"), [](const std::string& t, double scale) {
    // The L3 interfaces and next hops as construction reads them; a port's
    // Linux name and wire VLAN are plain lookups here, the Asic's own are
    // measured by its construction.
    static std::map<double, std::pair<std::map<std::int64_t, std::int64_t>,
                                      std::map<std::int64_t, std::int64_t>>>
        tables;
    auto& [intfs, nhi] = tables[scale];
    const auto snap = snapshot(scale);
    if (intfs.empty()) {
      hw::parse_l3_intf(snap->sdk_commands.at("l3 intf show"), intfs);
      hw::parse_l3_intf_nhi(
          snap->host_commands.at("cat /quorvex/hwprogd/debug/mroute/info").stdout_text, nhi);
    }
    const hw::ReplGroupContext ctx{
        true, nhi, intfs,
        [&snap](const std::string& dport) { return snap->sdk_to_linux.at(dport); },
        [](const std::string&, std::int64_t ivid) { return ivid; }};
    std::map<std::int64_t, ReplicationGroup> groups;
    hw::parse_multicast_show(t, ctx, groups);
    benchmark::DoNotOptimize(groups);
  });
  reader("l3 intf show", sdk("l3 intf show"), [](const std::string& t, double) {
    std::map<std::int64_t, std::int64_t> intfs;
    hw::parse_l3_intf(t, intfs);
    benchmark::DoNotOptimize(intfs);
  });
  reader("next hops (daemon info)", host("cat /quorvex/hwprogd/debug/mroute/info"),
         [](const std::string& t, double) {
           std::map<std::int64_t, std::int64_t> nhi;
           hw::parse_l3_intf_nhi(t, nhi);
           benchmark::DoNotOptimize(nhi);
         });
  reader("vlan translate show", sdk("vlan translate show"), [](const std::string& t, double) {
    std::vector<VlanXlate> xlate;
    hw::parse_vlan_xlate(t, xlate);
    benchmark::DoNotOptimize(xlate);
  });
  reader("show portmap", sdk("show portmap"), [](const std::string& t, double) {
    std::vector<PortmapEntry> portmap;
    hw::parse_portmap(
        t, [](const std::string& p) { return p; }, portmap);
    benchmark::DoNotOptimize(portmap);
  });
  reader("pvlan show", sdk("pvlan show"), [](const std::string& t, double) {
    std::int64_t sum = 0;
    hw::parse_pvlan_show(t, [&sum](const std::string&, std::int64_t vid) { sum += vid; });
    benchmark::DoNotOptimize(sum);
  });
  // Every "vlan show" and "ports" answer of the switch, one after the other.
  reader(
      "vlan show and ports",
      [](double scale) {
        std::string all;
        for (const auto& [cmd, out] : snapshot(scale)->sdk_commands) {
          if (cmd.starts_with("vlan show ") || cmd.starts_with("ports ")) all += out + '\0';
        }
        return all;
      },
      [](const std::string& t, double) {
        std::size_t start = 0;
        std::size_t n = 0;
        while (start < t.size()) {
          const std::size_t end = t.find('\0', start);
          const std::string_view out(t.data() + start, end - start);
          if (out.starts_with("vlan ")) {
            n += hw::parse_vlan_show(out).has_value();
          } else {
            n += hw::parse_port_names(out).value_or(std::vector<std::string>{}).size();
          }
          start = end + 1;
        }
        benchmark::DoNotOptimize(n);
      });
  reader(
      "bridge -j vlan show", host("/sbin/bridge -j vlan show"),
      [](const std::string&, double scale) { asic_of(scale)._kern_create_vlan_cache(); },
      [](double scale) {
        Asic& asic = asic_of(scale);
        asic.kern_vlan_cache_created = false;
        asic.kern_vlan_cache.clear();
      });
  reader(
      "bridge mdb show", host("/sbin/bridge -d -s mdb show dev br0"),
      [](const std::string&, double scale) {
        benchmark::DoNotOptimize(
            asic_of(scale)._kern_dev_get_mdb_entry("br0", 2, "01:00:5e:01:00:00"));
      },
      [](double scale) { asic_of(scale).kern_mdb_cache.clear(); });
  reader(
      "/proc/net/vlan/config", file("/proc/net/vlan/config"),
      [](const std::string&, double scale) { asic_of(scale)._kern_create_vlan_dev_cache(); },
      [](double scale) {
        Asic& asic = asic_of(scale);
        asic.kern_vlan_dev_cache_created = false;
        asic.kern_vlan_dev_cache.clear();
      });
  reader("ip -j mroute show", host("/bin/ip -j mroute show table all"),
         [](const std::string& t, double scale) {
           static std::map<double, std::map<std::string, std::string>> vrfs;
           auto& v = vrfs[scale];
           if (v.empty()) {
             v = kern::parse_vrf_tables(
                 snapshot(scale)->host_commands.at("/bin/ip -j -d link show type vrf").stdout_text);
           }
           benchmark::DoNotOptimize(kern::parse_kernel_routes(t, v));
         });
  // The whole snapshot, read from its file as grpaudit reads it.
  reader(
      "snapshot file",
      [](double scale) {
        std::ifstream in(snapshot_file(scale), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
      },
      [](const std::string&, double scale) {
        benchmark::DoNotOptimize(platform::load_snapshot(snapshot_file(scale)));
      });
}

}  // namespace grpaudit::bench
