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

std::string follow_links(const std::string& path) {
  namespace fs = std::filesystem;
  fs::path p = path;
  // As many links as the kernel follows in one path.
  for (int links = 0; links < 40; ++links) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec))) return p.string();
    const fs::path target = fs::read_symlink(p, ec);
    if (ec) throw std::system_error(ec, "cannot follow " + p.string());
    p = target.is_absolute() ? target : p.parent_path() / target;
  }
  throw std::system_error(ELOOP, std::generic_category(), "cannot follow " + path);
}

void save_snapshot(const Snapshot& snap, const std::string& path) {
  const std::string target = follow_links(path);
  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode))
    throw std::runtime_error("cannot write " + path + ": not a regular file");
  const mode_t mode = exists ? (st.st_mode & 07777) : 0644;

  const std::string text = snapshot_to_json(snap);
  std::vector<char> tmpl(target.begin(), target.end());
  const std::string suffix = ".tmp-XXXXXX";
  tmpl.insert(tmpl.end(), suffix.begin(), suffix.end());
  tmpl.push_back('\0');
  const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "cannot write " + path);
  const std::string tmp_path = tmpl.data();
  auto fail = [&](int err) {
    ::close(fd);
    ::unlink(tmp_path.c_str());
    throw std::system_error(err, std::generic_category(), "cannot write " + path);
  };
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) fail(errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(tmp_path.c_str());
    throw std::system_error(err, std::generic_category(), "cannot write " + path);
  }
  if (::rename(tmp_path.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp_path.c_str());
    throw std::system_error(err, std::generic_category(), "cannot write " + path);
  }
}

}  // namespace grpaudit::platform
