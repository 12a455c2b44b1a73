#include "support/fake_switch.h"

#include "grpaudit/platform/trace.h"
#include "grpaudit/util/text.h"

namespace grpaudit::testing {

FakeSwitch::FakeSwitch() {
  snap_.vrfs["0"] = "default";
  host_cmd("ls /quorvex/hwprogd/debug/mroute/info", 2, "");
  host_cmd("cat /quorvex/hwprogd/debug/mroute/info", 0, "");  // read only with RIOT on
  // A port map lists at least one port: a header alone means the chip
  // cannot list one. xe0 has no Linux name until a test gives it one.
  sdk("show portmap", portmap_listing({"xe0 0 1 1"}));
  sdk("pvlan show", "");
  sdk("l3 intf show", l3_intf_listing({}));
  sdk("vlan translate show", "");
  sdk("sc L3IngressMode", "0x0\n");
  sdk("multicast show", "");
  snap_.sdk_commands["ipmc table show"] = ipmc_listing({});
}

FakeSwitch& FakeSwitch::sdk(const std::string& cmd, const std::string& output) {
  snap_.sdk_commands[cmd] = output;
  return *this;
}

FakeSwitch& FakeSwitch::no_sdk(const std::string& cmd) {
  snap_.sdk_commands.erase(cmd);
  return *this;
}

FakeSwitch& FakeSwitch::table_entry(const std::string& table, int index, asicterm::Fields fields) {
  snap_.sdk_tables[table][std::to_string(index)] = std::move(fields);
  return *this;
}

FakeSwitch& FakeSwitch::host_cmd(const std::string& argv_joined, int status,
                                 const std::string& out) {
  snap_.host_commands[argv_joined] = platform::HostCommand{status, out};
  return *this;
}

FakeSwitch& FakeSwitch::file(const std::string& path, const std::string& content) {
  snap_.host_files[path] = content;
  return *this;
}

FakeSwitch& FakeSwitch::dir(const std::string& path, std::vector<std::string> entries) {
  snap_.host_dirs[path] = std::move(entries);
  return *this;
}

FakeSwitch& FakeSwitch::port(const std::string& sdk_port, const std::string& linux_port) {
  snap_.sdk_to_linux[sdk_port] = linux_port;
  snap_.linux_ports.push_back(linux_port);
  return *this;
}

FakeSwitch& FakeSwitch::vrf(int id, const std::string& name) {
  snap_.vrfs[std::to_string(id)] = name;
  return *this;
}

Platform FakeSwitch::platform() const {
  return platform::make_replay_platform(std::make_shared<const platform::Snapshot>(snap_));
}

TracedSwitch::TracedSwitch(const FakeSwitch& sw)
    : platform_(platform::with_trace(
          sw.platform(), std::make_shared<platform::TraceLog>(dir_.path() + "/trace.jsonl"))) {}

std::vector<std::string> TracedSwitch::lines() const {
  const std::string text = read_file(dir_.path() + "/trace.jsonl");
  std::vector<std::string> out;
  for (const auto line : util::split_lines(text)) out.emplace_back(line);
  return out;
}

std::string portmap_listing(const std::vector<std::string>& rows) {
  std::string out = "            pipe  logical  physical\n";
  for (const auto& r : rows) out += r + "\n";
  return out;
}

std::string l3_intf_listing(const std::vector<std::string>& rows) {
  std::string out =
      "Unit 0, free L3INTF entries: 8191\n"
      "Unit  Intf  VRF Group VLAN    Source Mac     MTU TTL Tunnel InnerVlan  NATRealm\n"
      "------------------------------------------------------------------------------\n";
  for (const auto& r : rows) out += r + "\n";
  return out;
}

std::string ipmc_listing(const std::vector<std::string>& rows) {
  std::string out =
      "SRC IP ADDRESS    MC IP ADDRESS     GROUP       VLAN  VRF  HIT\n"
      "--------------    -------------     -----       ----  ---  ---\n";
  for (const auto& r : rows) out += r + "  y\n";
  return out;
}

}  // namespace grpaudit::testing
