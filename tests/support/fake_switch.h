#pragma once
// An in-memory switch for tests: a snapshot built in code and replayed.

#include <memory>
#include <string>
#include <vector>

#include "grpaudit/asic/platform.h"
#include "grpaudit/platform/snapshot.h"

namespace grpaudit::testing {

// The SDK outputs of an empty but complete switch: every table construction
// reads lists nothing.
class FakeSwitch {
 public:
  FakeSwitch();

  FakeSwitch& sdk(const std::string& cmd, const std::string& output);
  FakeSwitch& no_sdk(const std::string& cmd);  // the shell does not answer it
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

// An "ipmc table show" listing of the given rows (each "SRC MC GROUP VLAN VRF").
std::string ipmc_listing(const std::vector<std::string>& rows);

}  // namespace grpaudit::testing
