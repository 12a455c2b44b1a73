#pragma once
// An in-memory switch for tests: a snapshot built in code and replayed.

#include <memory>
#include <string>
#include <vector>

#include "grpaudit/platform/platform.h"
#include "grpaudit/platform/snapshot.h"
#include "support/test_support.h"

namespace grpaudit::testing {

// An empty but complete switch: one port (xe0, logical 1) and otherwise
// nothing in every table construction reads; the forwarding daemon's debug
// output is off and RIOT is off.
class FakeSwitch {
 public:
  FakeSwitch();

  FakeSwitch& sdk(const std::string& cmd, const std::string& output);
  FakeSwitch& no_sdk(const std::string& cmd);  // the shell does not answer it
  FakeSwitch& table_entry(const std::string& table, int index, asicterm::Fields fields);
  FakeSwitch& host_cmd(const std::string& argv_joined, int status, const std::string& out);
  FakeSwitch& file(const std::string& path, const std::string& content);
  FakeSwitch& dir(const std::string& path, std::vector<std::string> entries);
  FakeSwitch& port(const std::string& sdk_port, const std::string& linux_port);
  FakeSwitch& vrf(int id, const std::string& name);

  platform::Snapshot& snapshot() { return snap_; }
  Platform platform() const;

 private:
  platform::Snapshot snap_;
};

// `sw`'s platform with its SDK and host traffic traced to a temporary file.
class TracedSwitch {
 public:
  explicit TracedSwitch(const FakeSwitch& sw);

  const Platform& platform() const { return platform_; }
  // The trace lines written so far, in order.
  std::vector<std::string> lines() const;

 private:
  TempDir dir_;
  Platform platform_;
};

// A "show portmap" listing of the given rows (each "PORT PIPE LOGICAL PHYSICAL").
std::string portmap_listing(const std::vector<std::string>& rows);

// An "l3 intf show" listing of the given rows (each "UNIT INTF VRF GROUP VLAN ...").
std::string l3_intf_listing(const std::vector<std::string>& rows);

// An "ipmc table show" listing of the given rows (each "SRC MC GROUP VLAN VRF").
std::string ipmc_listing(const std::vector<std::string>& rows);

}  // namespace grpaudit::testing
