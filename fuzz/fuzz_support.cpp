#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <fmt/format.h>

#include "grpaudit/platform/sdk_transport.h"
#include "grpaudit/util/text.h"

namespace grpaudit::fuzz {

Parts::Parts(const std::uint8_t* data, std::size_t size)
    : whole_(reinterpret_cast<const char*>(data), size) {
  parts_ = util::split_at(whole_, std::string_view("\0", 1));
}

std::string Parts::operator[](std::size_t i) const {
  return i < parts_.size() ? std::string(parts_[i]) : std::string();
}

void undocumented(std::string_view kind, std::string_view what) {
  std::fprintf(stderr, "undocumented error escaped: %.*s: %.*s\n", static_cast<int>(kind.size()),
               kind.data(), static_cast<int>(what.size()), what.data());
  std::abort();
}

std::function<bool(std::string_view)> one_of(std::vector<std::string> texts) {
  return [texts = std::move(texts)](std::string_view what) {
    for (const auto& t : texts) {
      if (what == t) return true;
    }
    return false;
  };
}

std::function<bool(std::string_view)> starting(std::string prefix) {
  return [prefix = std::move(prefix)](std::string_view what) { return what.starts_with(prefix); };
}

namespace {

using Sw = std::shared_ptr<const FuzzSwitch>;

class Shell : public asicterm::asicterm {
 public:
  explicit Shell(Sw sw) : sw_(std::move(sw)) {}
  std::string run(const std::string& cmd) override {
    if (const auto it = sw_->sdk.find(cmd); it != sw_->sdk.end()) return it->second;
    if (sw_->sdk_rule) {
      if (auto out = sw_->sdk_rule(cmd)) return *out;
    }
    throw ShellIoError("no answer to " + cmd);
  }
  std::vector<::asicterm::Fields> gettable(const std::string&, bool, std::int64_t,
                                           std::int64_t) override {
    // Decoded as the live transport decodes a memory dump.
    return platform::parse_memory_dump(sw_->memory_dump);
  }

 private:
  Sw sw_;
};

class PortTable : public quorvex::ifatlas::ifatlas {
 public:
  explicit PortTable(Sw sw) : sw_(std::move(sw)) {}
  std::vector<std::string> get_linux_ports() override { return sw_->linux_ports; }
  std::string bcm2linux(const std::string& p) override {
    const auto it = sw_->sdk_to_linux.find(p);
    if (it == sw_->sdk_to_linux.end()) throw std::out_of_range("unknown SDK port " + p);
    return it->second;
  }

 private:
  Sw sw_;
};

class Vrfs : public quorvex::grpaudit_util::VrfDb {
 public:
  std::string vrf_id2name(std::int64_t id) override {
    if (id < 0 || id > 4096) throw std::out_of_range(fmt::format("unknown VRF id {}", id));
    return id == 0 ? "default" : fmt::format("vrf{}", id);
  }
};

[[noreturn]] void missing(const std::string& what) {
  throw std::system_error(std::make_error_code(std::errc::no_such_file_or_directory), what);
}

class FuzzHost : public Host {
 public:
  explicit FuzzHost(Sw sw) : sw_(std::move(sw)) {}
  RunResult run(const std::vector<std::string>& argv) override {
    std::string key;
    for (const auto& a : argv) key += (key.empty() ? "" : " ") + a;
    if (const auto it = sw_->commands.find(key); it != sw_->commands.end()) return it->second;
    if (sw_->command_rule) {
      if (auto r = sw_->command_rule(key)) return *r;
    }
    return RunResult{1, ""};
  }
  int run_shell(const std::string&) override { return 0; }
  bool is_regular_file(const std::string& path) override {
    return sw_->file && sw_->file(path).has_value();
  }
  bool is_directory(const std::string& path) override {
    return sw_->dir && sw_->dir(path).has_value();
  }
  std::string read_file(const std::string& path) override {
    if (sw_->file) {
      if (auto f = sw_->file(path)) return *f;
    }
    missing("cannot read " + path);
  }
  std::vector<std::string> list_dir(const std::string& path) override {
    if (sw_->dir) {
      if (auto d = sw_->dir(path)) return *d;
    }
    missing("cannot list " + path);
  }

 private:
  Sw sw_;
};

}  // namespace

FuzzSwitch::FuzzSwitch() {
  sdk["show portmap"] = "pipe logical physical\nxe0 0 1 1\n";
  sdk["pvlan show"] = "Port xe0 default VLAN is 1\n";
  sdk["l3 intf show"] = "Unit 0\nUnit Intf VRF Group VLAN\n---\n";
  sdk["vlan translate show"] = "";
  sdk["sc L3IngressMode"] = "0x0\n";
  sdk["multicast show"] = "";
  sdk["ipmc table show"] = "SRC IP ADDRESS MC IP ADDRESS GROUP VLAN VRF\n---\n";
  sdk_to_linux["xe0"] = "swp1";
  linux_ports = {"swp1"};
  commands["ls /quorvex/hwprogd/debug/mroute/info"] = RunResult{2, ""};
}

Platform FuzzSwitch::platform() const {
  auto sw = std::make_shared<const FuzzSwitch>(*this);
  Platform p;
  p.port_table = [sw] { return std::make_unique<PortTable>(sw); };
  p.vrf_db = [] { return std::make_unique<Vrfs>(); };
  p.sdk_shell = [sw](int) { return std::make_unique<Shell>(sw); };
  p.host = std::make_shared<FuzzHost>(sw);
  return p;
}

std::string ip_link_listing(const std::string& dev, const std::string& kind) {
  return fmt::format(
      "7: {}: <BROADCAST,MULTICAST,UP,LOWER_UP> mtu 1500 qdisc noqueue\n"
      "    link/ether 02:00:00:00:00:07 brd ff:ff:ff:ff:ff:ff promiscuity 0\n"
      "    {} some attributes 1\n",
      dev, kind);
}

std::string kind_by_name(const std::string& dev) {
  if (dev.starts_with("br")) return "bridge";
  if (dev.starts_with("bond")) return "bond";
  if (dev.find('.') != std::string::npos) return "vlan";
  return "dummy";
}

}  // namespace grpaudit::fuzz
