#pragma once
// The platform layer: every party outside the process that the Asic talks to.
//
// The three switch-platform components keep the platform's own names: the SDK
// diagnostic shell (asicterm), the port table (quorvex::ifatlas) and the VRF
// database (quorvex::grpaudit_util). The Host stands for the Linux machine
// itself: every command, and every /proc, /sys and daemon file the system
// reads, goes through it, so the same code runs live, replayed and traced.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace grpaudit {
class Asic;
}

namespace asicterm {

// One decoded memory-table entry: field name to value.
using Fields = std::map<std::string, std::int64_t>;

// The SDK diagnostic shell.
class asicterm {
 public:
  virtual ~asicterm() = default;
  // The whole text output of one shell command line. Throws
  // grpaudit::ShellIoError when the shell does not answer in time.
  virtual std::string run(const std::string& cmd) = 0;
  // run() without the copy: the same answers and errors, with the output
  // shared instead of copied where the shell already holds it (a replayed
  // snapshot). Listings of a large switch run to megabytes.
  virtual std::shared_ptr<const std::string> run_shared(const std::string& cmd) {
    return std::make_shared<const std::string>(run(cmd));
  }
  // `entries` consecutive entries of memory table `table` from index `start`,
  // decoded into fields (all fields when `fields` is true).
  virtual std::vector<Fields> gettable(const std::string& table, bool fields, std::int64_t start,
                                       std::int64_t entries) = 0;
};

}  // namespace asicterm

namespace quorvex::ifatlas {

// The port table: which Linux interface is which SDK port.
class ifatlas {
 public:
  virtual ~ifatlas() = default;
  virtual std::vector<std::string> get_linux_ports() = 0;
  // The Linux name of an SDK port; throws for a port without one.
  virtual std::string bcm2linux(const std::string& sdk_port) = 0;
};

}  // namespace quorvex::ifatlas

namespace quorvex::grpaudit_util {

// VRF id to VRF name.
class VrfDb {
 public:
  virtual ~VrfDb() = default;
  virtual std::string vrf_id2name(std::int64_t vrf_id) = 0;
};

}  // namespace quorvex::grpaudit_util

namespace grpaudit {

// The front end's verdicts for routes that the switch originates or
// terminates itself; source and group are absent for a malformed route key.
class MrouteChecker {
 public:
  virtual ~MrouteChecker() = default;
  virtual bool check_orig_mroute(Asic& asic, const std::optional<std::string>& src,
                                 const std::optional<std::string>& grp) = 0;
  virtual bool check_term_mroute(const std::optional<std::string>& src,
                                 const std::optional<std::string>& grp) = 0;
};

struct RunResult {
  int status = 0;   // exit status; negative: killed by that signal
  std::string out;  // standard output, exactly as written
};

// A RunResult whose output may be shared with the Host that gave it.
struct SharedRunResult {
  int status = 0;
  std::shared_ptr<const std::string> out;  // never null
};

// The Linux machine.
class Host {
 public:
  virtual ~Host() = default;
  // Runs argv[0] with the other elements as arguments, without a shell, with
  // standard error discarded, and waits for it. Throws std::system_error when
  // the program cannot be started.
  virtual RunResult run(const std::vector<std::string>& argv) = 0;
  // run() without the copy of the output, as asicterm::run_shared.
  virtual SharedRunResult run_shared(const std::vector<std::string>& argv) {
    RunResult r = run(argv);
    return {r.status, std::make_shared<const std::string>(std::move(r.out))};
  }
  // Runs `cmdline` through /bin/sh -c and returns its exit status.
  virtual int run_shell(const std::string& cmdline) = 0;
  virtual bool is_regular_file(const std::string& path) = 0;
  virtual bool is_directory(const std::string& path) = 0;
  // The whole file; throws std::system_error when it cannot be read.
  virtual std::string read_file(const std::string& path) = 0;
  // Entry names of a directory, without "." and ".."; throws std::system_error.
  virtual std::vector<std::string> list_dir(const std::string& path) = 0;
};

// Everything an Asic needs from the outside. A missing factory makes Asic
// construction fail at the step that creates that component.
struct Platform {
  std::function<std::unique_ptr<quorvex::ifatlas::ifatlas>()> port_table;
  std::function<std::unique_ptr<quorvex::grpaudit_util::VrfDb>()> vrf_db;
  std::function<std::unique_ptr<asicterm::asicterm>(int timeout)> sdk_shell;
  std::shared_ptr<Host> host;
};

// The platform that Asic(use_mem_table, debug) uses. Until one is set it is
// the live host with no switch components.
const Platform& current_platform();
void set_current_platform(Platform platform);

}  // namespace grpaudit
