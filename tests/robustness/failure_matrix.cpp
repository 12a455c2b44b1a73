#include "robustness/failure_matrix.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <system_error>

#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/snapshot.h"

namespace grpaudit::testing {

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  static const char* const names[] = {"none", "runtime", "value", "lookup", "json", "os", "other"};
  return os << names[static_cast<int>(o.kind)] << " \"" << o.text << "\"";
}

Outcome outcome_of(const std::function<void()>& f) {
  try {
    f();
    return {};
  } catch (const nlohmann::json::exception& e) {
    return {Kind::kJson, e.what()};
  } catch (const std::system_error& e) {
    return {Kind::kOs, e.what()};
  } catch (const std::invalid_argument& e) {
    return {Kind::kValue, e.what()};
  } catch (const std::out_of_range& e) {
    return {Kind::kLookup, e.what()};
  } catch (const std::runtime_error& e) {
    return {Kind::kRuntime, e.what()};
  } catch (const std::exception& e) {
    return {Kind::kOther, e.what()};
  }
}

FakeSwitch base_switch() {
  FakeSwitch sw;
  sw.port("xe0", "swp1");
  sw.sdk("dump chg l3_entry_ipv4_multicast", "");
  return sw;
}

void check_row(const FailureRow& row) {
  SCOPED_TRACE(row.row);
  FakeSwitch bad = base_switch();
  row.input(bad);
  if (row.in_construction) {
    EXPECT_EQ(outcome_of([&] { Asic asic(bad.platform(), row.mem_table); }), row.expected)
        << "building on the input";
  }

  // The step again, on an object built before the switch answered so.
  std::shared_ptr<platform::Snapshot> snap;
  if (row.in_construction) {
    snap = std::make_shared<platform::Snapshot>(base_switch().snapshot());
  } else {
    snap = std::make_shared<platform::Snapshot>(bad.snapshot());
  }
  Asic asic(platform::make_replay_platform(snap), row.mem_table);
  // Host files and directories are fixed when the replay starts; SDK and
  // command answers are looked up on every call.
  snap->sdk_commands = bad.snapshot().sdk_commands;
  snap->sdk_tables = bad.snapshot().sdk_tables;
  snap->sdk_to_linux = bad.snapshot().sdk_to_linux;
  snap->vrfs = bad.snapshot().vrfs;
  snap->host_commands = bad.snapshot().host_commands;
  EXPECT_EQ(outcome_of([&] { row.step(asic); }), row.expected) << "the step itself";
  if (row.after) row.after(asic);
}

namespace {

class UnreadableHost : public Host {
 public:
  UnreadableHost(std::shared_ptr<Host> inner, std::string path)
      : inner_(std::move(inner)), path_(std::move(path)) {}
  RunResult run(const std::vector<std::string>& argv) override { return inner_->run(argv); }
  int run_shell(const std::string& cmdline) override {
    inner_->run_shell(cmdline);
    return 1;
  }
  bool is_regular_file(const std::string& p) override {
    return p == path_ || inner_->is_regular_file(p);
  }
  bool is_directory(const std::string& p) override { return inner_->is_directory(p); }
  std::string read_file(const std::string& p) override {
    if (p == path_) {
      throw std::system_error(std::make_error_code(std::errc::permission_denied),
                              "cannot read " + p);
    }
    return inner_->read_file(p);
  }
  std::vector<std::string> list_dir(const std::string& p) override { return inner_->list_dir(p); }

 private:
  std::shared_ptr<Host> inner_;
  std::string path_;
};

}  // namespace

std::shared_ptr<Host> with_unreadable(std::shared_ptr<Host> inner, std::string failing_path) {
  return std::make_shared<UnreadableHost>(std::move(inner), std::move(failing_path));
}

}  // namespace grpaudit::testing
