#include "grpaudit/platform/trace.h"

#include <cerrno>
#include <system_error>

#include <nlohmann/json.hpp>

#include "grpaudit/platform/snapshot.h"

namespace grpaudit::platform {
namespace {

using nlohmann::ordered_json;

[[noreturn]] void cannot_write(const std::string& path, int err) {
  throw std::system_error(err != 0 ? err : EIO, std::generic_category(),
                          "cannot write trace " + path);
}

void emit(TraceLog& log, const ordered_json& line) {
  // Command output is not always UTF-8; a trace must not fail over that.
  log.write_line(line.dump(-1, ' ', false, ordered_json::error_handler_t::replace));
}

class TracedShell : public asicterm::asicterm {
 public:
  TracedShell(std::unique_ptr<::asicterm::asicterm> inner, std::shared_ptr<TraceLog> log)
      : inner_(std::move(inner)), log_(std::move(log)) {}

  std::string run(const std::string& cmd) override {
    emit(*log_, ordered_json{{"sdk", cmd}});
    return inner_->run(cmd);
  }

  std::shared_ptr<const std::string> run_shared(const std::string& cmd) override {
    emit(*log_, ordered_json{{"sdk", cmd}});
    return inner_->run_shared(cmd);
  }

  std::vector<::asicterm::Fields> gettable(const std::string& table, bool fields,
                                           std::int64_t start, std::int64_t entries) override {
    emit(*log_, ordered_json{{"gettable", table}, {"start", start}, {"entries", entries}});
    return inner_->gettable(table, fields, start, entries);
  }

 private:
  std::unique_ptr<::asicterm::asicterm> inner_;
  std::shared_ptr<TraceLog> log_;
};

class TracedHost : public Host {
 public:
  TracedHost(std::shared_ptr<Host> inner, std::shared_ptr<TraceLog> log)
      : inner_(std::move(inner)), log_(std::move(log)) {}

  // Written after the fact because the line carries the exit status.
  RunResult run(const std::vector<std::string>& argv) override {
    RunResult result;
    try {
      result = inner_->run(argv);
    } catch (const std::system_error&) {
      emit(*log_, ordered_json{{"run", host_command_key(argv)}, {"status", nullptr}});
      throw;
    }
    emit(*log_, ordered_json{{"run", host_command_key(argv)}, {"status", result.status}});
    return result;
  }

  SharedRunResult run_shared(const std::vector<std::string>& argv) override {
    SharedRunResult result;
    try {
      result = inner_->run_shared(argv);
    } catch (const std::system_error&) {
      emit(*log_, ordered_json{{"run", host_command_key(argv)}, {"status", nullptr}});
      throw;
    }
    emit(*log_, ordered_json{{"run", host_command_key(argv)}, {"status", result.status}});
    return result;
  }

  int run_shell(const std::string& cmdline) override {
    emit(*log_, ordered_json{{"shell", cmdline}});
    return inner_->run_shell(cmdline);
  }

  bool is_regular_file(const std::string& path) override { return inner_->is_regular_file(path); }
  bool is_directory(const std::string& path) override { return inner_->is_directory(path); }

  std::string read_file(const std::string& path) override {
    emit(*log_, ordered_json{{"read", path}});
    return inner_->read_file(path);
  }

  std::vector<std::string> list_dir(const std::string& path) override {
    emit(*log_, ordered_json{{"list", path}});
    return inner_->list_dir(path);
  }

 private:
  std::shared_ptr<Host> inner_;
  std::shared_ptr<TraceLog> log_;
};

}  // namespace

TraceLog::TraceLog(const std::string& path) : path_(path) {
  errno = 0;
  out_.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
  if (!out_) cannot_write(path_, errno);
}

void TraceLog::write_line(std::string_view json_line) {
  const std::lock_guard lock(mutex_);
  errno = 0;
  out_ << json_line << '\n';
  out_.flush();
  if (!out_) cannot_write(path_, errno);
}

Platform with_trace(Platform inner, std::shared_ptr<TraceLog> log) {
  if (!log) throw std::invalid_argument("with_trace: no trace log");
  Platform p;
  p.port_table = std::move(inner.port_table);
  p.vrf_db = std::move(inner.vrf_db);
  if (inner.sdk_shell) {
    p.sdk_shell = [make = std::move(inner.sdk_shell),
                   log](int timeout) -> std::unique_ptr<asicterm::asicterm> {
      return std::make_unique<TracedShell>(make(timeout), log);
    };
  }
  if (inner.host) p.host = std::make_shared<TracedHost>(std::move(inner.host), log);
  return p;
}

}  // namespace grpaudit::platform
