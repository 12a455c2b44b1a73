#include "support/kern_fixtures.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>

#include "grpaudit/platform/trace.h"
#include "grpaudit/util/text.h"

namespace grpaudit::testing {

using nlohmann::ordered_json;

void link(FakeSwitch& sw, const std::string& dev, const std::string& kind) {
  sw.host_cmd("/bin/ip -d link show " + dev, 0,
              fmt::format("7: {}: <BROADCAST,MULTICAST,UP,LOWER_UP> mtu 1500 qdisc noqueue\n"
                          "    link/ether 02:00:00:00:00:07 brd ff:ff:ff:ff:ff:ff promiscuity 0\n"
                          "    {} some attributes 1\n",
                          dev, kind));
}

void bridge(FakeSwitch& sw, const std::string& dev, int vlan_filtering,
            std::vector<std::string> ports) {
  link(sw, dev, "bridge");
  sw.file("/sys/class/net/" + dev + "/bridge/vlan_filtering", fmt::format("{}\n", vlan_filtering));
  sw.dir("/sys/class/net/" + dev + "/brif", std::move(ports));
}

void bond(FakeSwitch& sw, const std::string& dev, const std::string& members) {
  link(sw, dev, "bond");
  sw.dir("/sys/class/net/" + dev + "/bonding", {"slaves", "mode"});
  sw.file("/sys/class/net/" + dev + "/bonding/slaves", members + "\n");
}

void vlan_config(FakeSwitch& sw,
                 const std::vector<std::tuple<std::string, int, std::string>>& rows) {
  std::string text =
      "VLAN Dev name    | VLAN ID\n"
      "Name-Type: VLAN_NAME_TYPE_RAW_PLUS_VID_NO_PAD\n";
  for (const auto& [dev, vid, atlink] : rows) {
    text += fmt::format("{:<14}| {:<4} | {}\n", dev, vid, atlink);
  }
  sw.file("/proc/net/vlan/config", text);
}

std::string run_line(const std::string& cmdline, int status) {
  return ordered_json{{"run", cmdline}, {"status", status}}.dump();
}
std::string read_line(const std::string& path) {
  return ordered_json{{"read", path}}.dump();
}
std::string list_line(const std::string& path) {
  return ordered_json{{"list", path}}.dump();
}

TracedAsic::TracedAsic(const FakeSwitch& sw) : path_(dir_.path() + "/trace.jsonl") {
  asic_ = std::make_unique<Asic>(
      platform::with_trace(sw.platform(), std::make_shared<platform::TraceLog>(path_)));
  take_trace();
}

std::vector<std::string> TracedAsic::take_trace() {
  const std::string text = read_file(path_);
  const auto lines = util::split_lines(text);
  std::vector<std::string> fresh(lines.begin() + static_cast<std::ptrdiff_t>(seen_), lines.end());
  seen_ = lines.size();
  return fresh;
}

}  // namespace grpaudit::testing
