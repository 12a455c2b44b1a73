// Replaying a snapshot: every component answers from the recorded document,
// and whatever was not recorded fails the way the real party would.

#include <cerrno>
#include <limits>
#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <unordered_map>

#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/snapshot.h"

namespace grpaudit::platform {
namespace {

using SnapPtr = std::shared_ptr<const Snapshot>;

// A text of the snapshot, shared: the answer points into the snapshot, which
// it keeps alive.
std::shared_ptr<const std::string> shared_text(const SnapPtr& snap, const std::string& stored) {
  return {snap, &stored};
}

// A recorded map's values by key. A replay of a snapshot it loaded itself
// finds them through a hash index made once: a large switch's snapshot
// records thousands of commands and table rows, each asked for once, and a
// tree search over long keys that share their first words misses the cache
// at nearly every level. Any other replay searches the map on every call, so
// that its maker may change the snapshot between calls.
template <typename V>
class Lookup {
 public:
  Lookup(const std::map<std::string, V>& m, bool indexed) : map_(m), indexed_(indexed) {
    if (!indexed_) return;
    index_.reserve(m.size());
    for (const auto& [key, v] : m) index_.emplace(key, &v);
  }

  const V* find(const std::string& key) const {
    if (indexed_) {
      const auto it = index_.find(key);
      return it == index_.end() ? nullptr : it->second;
    }
    const auto it = map_.find(key);
    return it == map_.end() ? nullptr : &it->second;
  }

 private:
  const std::map<std::string, V>& map_;
  bool indexed_;
  // Points into map_, which the replay keeps alive.
  std::unordered_map<std::string_view, const V*> index_;
};

class ReplayShell : public asicterm::asicterm {
 public:
  ReplayShell(SnapPtr snap, bool indexed)
      : snap_(std::move(snap)), indexed_(indexed), commands_(snap_->sdk_commands, indexed) {}

  std::string run(const std::string& cmd) override { return answer(cmd); }

  std::shared_ptr<const std::string> run_shared(const std::string& cmd) override {
    return shared_text(snap_, answer(cmd));
  }

  std::vector<::asicterm::Fields> gettable(const std::string& table, bool /*fields*/,
                                           std::int64_t start, std::int64_t entries) override {
    std::vector<::asicterm::Fields> out;
    const auto t = snap_->sdk_tables.find(table);
    if (t == snap_->sdk_tables.end()) return out;
    // Entries are read one or a few at a time, thousands of times: an
    // indexed table's rows are indexed when it is first read.
    std::optional<Lookup<::asicterm::Fields>> searched;
    const Lookup<::asicterm::Fields>* rows = nullptr;
    if (indexed_) {
      auto r = rows_.find(t->first);
      if (r == rows_.end()) r = rows_.try_emplace(t->first, t->second, true).first;
      rows = &r->second;
    } else {
      rows = &searched.emplace(t->second, false);
    }
    for (std::int64_t i = 0; i < entries; ++i) {
      if (start > std::numeric_limits<std::int64_t>::max() - i) break;
      const auto* e = rows->find(std::to_string(start + i));
      if (e == nullptr) break;  // the table ends at its first gap
      out.push_back(*e);
    }
    return out;
  }

 private:
  const std::string& answer(const std::string& cmd) const {
    const auto* text = commands_.find(cmd);
    if (text == nullptr) throw ShellIoError("SDK shell did not answer \"" + cmd + "\"");
    return *text;
  }

  SnapPtr snap_;
  bool indexed_;
  Lookup<std::string> commands_;
  // Indexed tables by name, pointing into *snap_.
  std::unordered_map<std::string_view, Lookup<::asicterm::Fields>> rows_;
};

class ReplayPortTable : public quorvex::ifatlas::ifatlas {
 public:
  explicit ReplayPortTable(SnapPtr snap) : snap_(std::move(snap)) {}

  std::vector<std::string> get_linux_ports() override { return snap_->linux_ports; }

  std::string bcm2linux(const std::string& sdk_port) override {
    const auto it = snap_->sdk_to_linux.find(sdk_port);
    if (it == snap_->sdk_to_linux.end()) throw std::out_of_range("unknown SDK port " + sdk_port);
    return it->second;
  }

 private:
  SnapPtr snap_;
};

class ReplayVrfDb : public quorvex::grpaudit_util::VrfDb {
 public:
  explicit ReplayVrfDb(SnapPtr snap) : snap_(std::move(snap)) {}

  std::string vrf_id2name(std::int64_t vrf_id) override {
    const auto it = snap_->vrfs.find(std::to_string(vrf_id));
    if (it == snap_->vrfs.end())
      throw std::out_of_range("unknown VRF id " + std::to_string(vrf_id));
    return it->second;
  }

 private:
  SnapPtr snap_;
};

// "/a/b/" and "/a/b" name the same thing; "/" stays itself.
std::string_view without_trailing_slash(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}

// Paths looked up as views: a large switch asks for thousands of files.
struct PathHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view path) const {
    return std::hash<std::string_view>{}(path);
  }
};
template <typename V>
using PathMap = std::unordered_map<std::string, const V*, PathHash, std::equal_to<>>;

// Of two recorded spellings of one path, the first in the snapshot's order counts.
template <typename V>
PathMap<V> by_normalized_path(const std::map<std::string, V>& m) {
  PathMap<V> out;
  for (const auto& [path, v] : m) out.emplace(without_trailing_slash(path), &v);
  return out;
}

[[noreturn]] void no_such_file(const std::string& what) {
  throw std::system_error(std::make_error_code(std::errc::no_such_file_or_directory), what);
}

class ReplayHost : public Host {
 public:
  // `file`, when the snapshot was loaded from one, names it in errors.
  ReplayHost(SnapPtr snap, bool indexed, std::string file)
      : snap_(std::move(snap)),
        file_(std::move(file)),
        commands_(snap_->host_commands, indexed),
        files_(by_normalized_path(snap_->host_files)),
        dirs_(by_normalized_path(snap_->host_dirs)) {}

  RunResult run(const std::vector<std::string>& argv) override {
    const HostCommand& cmd = command(argv);
    return RunResult{cmd.status, cmd.stdout_text};
  }

  SharedRunResult run_shared(const std::vector<std::string>& argv) override {
    const HostCommand& cmd = command(argv);
    return {cmd.status, shared_text(snap_, cmd.stdout_text)};
  }

  // Nothing recorded a shell command's effect, so there is nothing to replay.
  int run_shell(const std::string& /*cmdline*/) override { return 0; }

  bool is_regular_file(const std::string& path) override {
    return files_.contains(without_trailing_slash(path));
  }

  bool is_directory(const std::string& path) override {
    return dirs_.contains(without_trailing_slash(path));
  }

  std::string read_file(const std::string& path) override {
    const auto it = files_.find(without_trailing_slash(path));
    if (it == files_.end()) no_such_file("cannot read " + path);
    return *it->second;
  }

  std::vector<std::string> list_dir(const std::string& path) override {
    const auto it = dirs_.find(without_trailing_slash(path));
    if (it == dirs_.end()) no_such_file("cannot list " + path);
    return *it->second;
  }

 private:
  const HostCommand& command(const std::vector<std::string>& argv) const {
    const HostCommand* cmd = commands_.find(host_command_key(argv));
    if (cmd == nullptr) {
      // Replayed from a file, the missing answer is the file's: say so rather
      // than that the program could not be started, as a snapshot made in
      // memory (a test's switch) stands for.
      if (!file_.empty()) {
        no_such_file("snapshot " + file_ + " has no answer for `" + host_command_key(argv) + "`");
      }
      no_such_file("cannot run " + (argv.empty() ? "" : argv[0]));
    }
    return *cmd;
  }

  SnapPtr snap_;
  std::string file_;
  // Point into *snap_, which this object keeps alive.
  Lookup<HostCommand> commands_;
  PathMap<std::string> files_;
  PathMap<std::vector<std::string>> dirs_;
};

Platform make_replay(std::shared_ptr<const Snapshot> snap, bool indexed, std::string file = {}) {
  if (!snap) throw std::invalid_argument("make_replay_platform: no snapshot");
  Platform p;
  p.port_table = [snap] { return std::make_unique<ReplayPortTable>(snap); };
  p.vrf_db = [snap] { return std::make_unique<ReplayVrfDb>(snap); };
  p.sdk_shell = [snap, indexed](int /*timeout*/) {
    return std::make_unique<ReplayShell>(snap, indexed);
  };
  p.host = std::make_shared<ReplayHost>(snap, indexed, std::move(file));
  return p;
}

}  // namespace

Platform make_replay_platform(std::shared_ptr<const Snapshot> snap) {
  return make_replay(std::move(snap), /*indexed=*/false);
}

LoadedReplay load_replay(const std::string& path) {
  auto snap = std::make_shared<const Snapshot>(load_snapshot(path));
  Platform platform = make_replay(snap, /*indexed=*/true, path);
  return {std::move(platform), std::move(snap), path};
}

Platform LoadedReplay::round(std::size_t n) const {
  if (n == 0 || snapshot->rounds.empty()) return platform;
  return make_replay(std::make_shared<const Snapshot>(snapshot_round(*snapshot, n)),
                     /*indexed=*/true, path);
}

Platform load_replay_platform(const std::string& path) {
  return load_replay(path).platform;
}

}  // namespace grpaudit::platform
