#include "grpaudit/platform/recorder.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "grpaudit/platform/errors.h"

namespace grpaudit::platform {
namespace {

using SnapPtr = std::shared_ptr<Snapshot>;

class RecordingShell : public asicterm::asicterm {
 public:
  RecordingShell(std::unique_ptr<::asicterm::asicterm> inner, SnapPtr snap)
      : inner_(std::move(inner)), snap_(std::move(snap)) {}

  // A command that does not answer is not recorded, so it does not answer on
  // replay either.
  std::string run(const std::string& cmd) override {
    std::string out = inner_->run(cmd);
    snap_->sdk_commands[cmd] = out;
    return out;
  }

  std::shared_ptr<const std::string> run_shared(const std::string& cmd) override {
    auto out = inner_->run_shared(cmd);
    snap_->sdk_commands[cmd] = *out;
    return out;
  }

  std::vector<::asicterm::Fields> gettable(const std::string& table, bool fields,
                                           std::int64_t start, std::int64_t entries) override {
    auto rows = inner_->gettable(table, fields, start, entries);
    auto& recorded = snap_->sdk_tables[table];
    for (std::size_t i = 0; i < rows.size(); ++i) {
      recorded[std::to_string(start + static_cast<std::int64_t>(i))] = rows[i];
    }
    return rows;
  }

 private:
  std::unique_ptr<::asicterm::asicterm> inner_;
  SnapPtr snap_;
};

class RecordingPortTable : public quorvex::ifatlas::ifatlas {
 public:
  RecordingPortTable(std::unique_ptr<quorvex::ifatlas::ifatlas> inner, SnapPtr snap)
      : inner_(std::move(inner)), snap_(std::move(snap)) {}

  std::vector<std::string> get_linux_ports() override {
    auto ports = inner_->get_linux_ports();
    snap_->linux_ports = ports;
    return ports;
  }

  std::string bcm2linux(const std::string& sdk_port) override {
    std::string name = inner_->bcm2linux(sdk_port);
    snap_->sdk_to_linux[sdk_port] = name;
    return name;
  }

 private:
  std::unique_ptr<quorvex::ifatlas::ifatlas> inner_;
  SnapPtr snap_;
};

class RecordingVrfDb : public quorvex::grpaudit_util::VrfDb {
 public:
  RecordingVrfDb(std::unique_ptr<quorvex::grpaudit_util::VrfDb> inner, SnapPtr snap)
      : inner_(std::move(inner)), snap_(std::move(snap)) {}

  std::string vrf_id2name(std::int64_t vrf_id) override {
    std::string name = inner_->vrf_id2name(vrf_id);
    snap_->vrfs[std::to_string(vrf_id)] = name;
    return name;
  }

 private:
  std::unique_ptr<quorvex::grpaudit_util::VrfDb> inner_;
  SnapPtr snap_;
};

class RecordingHost : public Host {
 public:
  RecordingHost(std::shared_ptr<Host> inner, SnapPtr snap)
      : inner_(std::move(inner)), snap_(std::move(snap)) {}

  RunResult run(const std::vector<std::string>& argv) override {
    RunResult r = inner_->run(argv);
    snap_->host_commands[host_command_key(argv)] = HostCommand{r.status, r.out};
    return r;
  }

  SharedRunResult run_shared(const std::vector<std::string>& argv) override {
    SharedRunResult r = inner_->run_shared(argv);
    snap_->host_commands[host_command_key(argv)] = HostCommand{r.status, *r.out};
    return r;
  }

  // Replay answers 0 without running anything; nothing to keep.
  int run_shell(const std::string& cmdline) override { return inner_->run_shell(cmdline); }

  // Replay knows a file by its content, so a file seen to exist is read now
  // (as empty when it cannot be read).
  bool is_regular_file(const std::string& path) override {
    const bool yes = inner_->is_regular_file(path);
    if (yes && !snap_->host_files.count(path)) {
      try {
        snap_->host_files[path] = inner_->read_file(path);
      } catch (const std::system_error&) {
        snap_->host_files[path] = "";
      }
    }
    return yes;
  }

  bool is_directory(const std::string& path) override {
    const bool yes = inner_->is_directory(path);
    if (yes && !snap_->host_dirs.count(path)) {
      try {
        snap_->host_dirs[path] = inner_->list_dir(path);
      } catch (const std::system_error&) {
        snap_->host_dirs[path] = {};
      }
    }
    return yes;
  }

  std::string read_file(const std::string& path) override {
    std::string content = inner_->read_file(path);
    snap_->host_files[path] = content;
    return content;
  }

  std::vector<std::string> list_dir(const std::string& path) override {
    auto entries = inner_->list_dir(path);
    snap_->host_dirs[path] = entries;
    return entries;
  }

 private:
  std::shared_ptr<Host> inner_;
  SnapPtr snap_;
};

}  // namespace

Recorder::Recorder(std::string description, std::optional<Recording> recorded)
    : snap_(std::make_shared<Snapshot>()) {
  snap_->description = std::move(description);
  snap_->recorded = std::move(recorded);
}

Platform Recorder::wrap(Platform inner) {
  Platform out;
  SnapPtr snap = snap_;
  if (inner.sdk_shell) {
    out.sdk_shell = [make = std::move(inner.sdk_shell), snap](int timeout) {
      return std::make_unique<RecordingShell>(make(timeout), snap);
    };
  }
  if (inner.port_table) {
    out.port_table = [make = std::move(inner.port_table), snap] {
      return std::make_unique<RecordingPortTable>(make(), snap);
    };
  }
  if (inner.vrf_db) {
    out.vrf_db = [make = std::move(inner.vrf_db), snap] {
      return std::make_unique<RecordingVrfDb>(make(), snap);
    };
  }
  if (inner.host) out.host = std::make_shared<RecordingHost>(std::move(inner.host), snap);
  return out;
}

void save_snapshot(const Snapshot& snap, const std::string& path) {
  replace_file(path, snapshot_to_json(snap));
}

}  // namespace grpaudit::platform
