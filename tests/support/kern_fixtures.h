#pragma once
// Kernel-side fixtures: devices answered by a FakeSwitch's host, and an Asic
// whose host interactions after construction can be read back in order.

#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "grpaudit/asic/asic.h"
#include "grpaudit/check/audit.h"
#include "support/fake_switch.h"
#include "support/test_support.h"

namespace grpaudit::testing {

// Accepts every originated and terminated route: the command's own checker.
using check::AcceptingChecker;

// "/bin/ip -d link show DEV" answering for a device of link kind `kind`.
void link(FakeSwitch& sw, const std::string& dev, const std::string& kind);
// A bridge: its listing, its VLAN-filtering file and its port directory.
void bridge(FakeSwitch& sw, const std::string& dev, int vlan_filtering,
            std::vector<std::string> ports);
// A bond: its listing, its bonding directory and its member file.
void bond(FakeSwitch& sw, const std::string& dev, const std::string& members);
// "/proc/net/vlan/config" with its two header lines and one row per device.
void vlan_config(FakeSwitch& sw,
                 const std::vector<std::tuple<std::string, int, std::string>>& rows);

// Trace lines as the tracing host writes them.
std::string run_line(const std::string& cmdline, int status = 0);
std::string read_line(const std::string& path);
std::string list_line(const std::string& path);

// An Asic on `sw` with its SDK shell and host traced.
class TracedAsic {
 public:
  explicit TracedAsic(const FakeSwitch& sw);
  Asic& operator*() { return *asic_; }
  Asic* operator->() { return asic_.get(); }
  // The trace lines written since construction, or since the last call.
  std::vector<std::string> take_trace();

 private:
  TempDir dir_;
  std::string path_;
  std::unique_ptr<Asic> asic_;
  std::size_t seen_ = 0;
};

}  // namespace grpaudit::testing
