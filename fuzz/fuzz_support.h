#pragma once
// What every fuzz target shares: splitting one input into several texts, the
// check that only documented error kinds escape, and an in-memory switch whose
// SDK shell and host answer with the fuzz input.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/platform.h"

namespace grpaudit::fuzz {

// The input cut at NUL bytes, which no listing holds: part i feeds the i-th
// text a target reads. Parts that are not there are empty.
class Parts {
 public:
  Parts(const std::uint8_t* data, std::size_t size);
  std::string operator[](std::size_t i) const;
  std::string_view whole() const { return whole_; }

 private:
  std::string_view whole_;
  std::vector<std::string_view> parts_;
};

// The error kinds a call may end with; anything else aborts the run.
struct Allowed {
  bool value = false;     // std::invalid_argument: a text that is not a number
  bool lookup = false;    // std::out_of_range: a missing field, column or key
  bool json = false;      // nlohmann::json::exception
  bool os = false;        // std::system_error
  bool snapshot = false;  // grpaudit::SnapshotError
  // std::runtime_error: accepted when this says its text is one of the fixed ones.
  std::function<bool(std::string_view)> runtime;
};

[[noreturn]] void undocumented(std::string_view kind, std::string_view what);

// Runs `f`; returns whether it finished without an error.
template <typename F>
bool documented(const Allowed& allowed, F&& f) {
  try {
    f();
    return true;
  } catch (const nlohmann::json::exception& e) {
    if (!allowed.json) undocumented("json", e.what());
  } catch (const SnapshotError& e) {
    if (!allowed.snapshot) undocumented("snapshot", e.what());
  } catch (const std::system_error& e) {
    if (!allowed.os) undocumented("system_error", e.what());
  } catch (const std::invalid_argument& e) {
    if (!allowed.value) undocumented("invalid_argument", e.what());
  } catch (const std::out_of_range& e) {
    if (!allowed.lookup) undocumented("out_of_range", e.what());
  } catch (const std::runtime_error& e) {
    if (!allowed.runtime || !allowed.runtime(e.what())) undocumented("runtime_error", e.what());
  } catch (const std::exception& e) {
    undocumented("exception", e.what());
  } catch (...) {
    undocumented("non-standard exception", "");
  }
  return false;
}

// A text accepted when it is one of `texts`.
std::function<bool(std::string_view)> one_of(std::vector<std::string> texts);
// A text accepted when it starts with `prefix`.
std::function<bool(std::string_view)> starting(std::string prefix);

// A switch in memory. By default it is the smallest one an Asic can be built
// on: one port (xe0, logical 1, Linux swp1), empty tables, RIOT off, the
// daemon's debug output off, no MLAG tool. Targets replace answers with their
// input. A command nobody answers is a shell time-out (SDK) or exits 1 (host).
struct FuzzSwitch {
  FuzzSwitch();

  std::map<std::string, std::string> sdk;
  // Asked when `sdk` has no answer for the command.
  std::function<std::optional<std::string>(const std::string&)> sdk_rule;
  // Memory-table reads: entries decoded from this dump text.
  std::string memory_dump;
  std::map<std::string, std::string> sdk_to_linux;
  std::vector<std::string> linux_ports;
  // Host commands by argv joined with blanks, then the rule.
  std::map<std::string, RunResult> commands;
  std::function<std::optional<RunResult>(const std::string&)> command_rule;
  std::function<std::optional<std::string>(const std::string&)> file;
  std::function<std::optional<std::vector<std::string>>(const std::string&)> dir;

  Platform platform() const;
};

// "/bin/ip -d link show" output for a device of link kind `kind`.
std::string ip_link_listing(const std::string& dev, const std::string& kind);

// A kind picked from the device name, so that names in the input reach every
// branch: br* bridge, bond* bond, swp* front-panel port, *.N vlan, else dummy.
std::string kind_by_name(const std::string& dev);

}  // namespace grpaudit::fuzz
