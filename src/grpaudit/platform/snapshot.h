#pragma once
// A snapshot: everything grpaudit read on one switch, as one JSON document
// ("grpaudit-snapshot", version 1). Loading it and replaying it through
// make_replay_platform reproduces that run anywhere.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "grpaudit/platform/platform.h"

namespace grpaudit::platform {

struct HostCommand {
  int status = 0;
  std::string stdout_text;

  friend bool operator==(const HostCommand&, const HostCommand&) = default;
};

// Who made a recording, where and when.
struct Recording {
  std::string time;                  // UTC, as 2026-12-09T03:59:16Z
  std::string program;               // "grpaudit 0.1.0"
  std::string host;                  // the switch's host name
  std::vector<std::string> options;  // the command line after the program's name

  friend bool operator==(const Recording&, const Recording&) = default;
};

struct Snapshot {
  std::string description;
  // "recorded"; none in a snapshot written by hand or before it was kept.
  std::optional<Recording> recorded;
  // sdk.commands: SDK shell command line to its whole output.
  std::map<std::string, std::string> sdk_commands;
  // sdk.tables: memory table name to decimal entry index to fields.
  std::map<std::string, std::map<std::string, asicterm::Fields>> sdk_tables;
  // port_table.linux_ports and port_table.sdk_to_linux.
  std::vector<std::string> linux_ports;
  std::map<std::string, std::string> sdk_to_linux;
  // vrfs: decimal VRF id to VRF name.
  std::map<std::string, std::string> vrfs;
  // host.commands (argv joined with single blanks), host.files, host.dirs.
  std::map<std::string, HostCommand> host_commands;
  std::map<std::string, std::string> host_files;
  std::map<std::string, std::vector<std::string>> host_dirs;
  // "rounds": the switch read again, for runs that read it more than once
  // (watch). Each round holds only the sdk and host answers that changed
  // since the read before it.
  std::vector<Snapshot> rounds;

  friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

// `snap` as read the `n`th time after the first: its answers with those of
// its first `n` rounds laid over them, in order (all rounds when it has
// fewer; `n` 0 is `snap` itself). The result has no rounds.
Snapshot snapshot_round(const Snapshot& snap, std::size_t n);

inline constexpr std::string_view kSnapshotFormat = "grpaudit-snapshot";
inline constexpr int kSnapshotVersion = 1;

// Reads and checks a snapshot file. Throws SnapshotError naming `path` and
// what is wrong (unreadable, not JSON, another format or version, a section
// of the wrong type).
Snapshot load_snapshot(const std::string& path);

// The same for a document already in memory; `name` stands for the file in
// error messages.
Snapshot parse_snapshot(std::string_view json_text, const std::string& name);

// The JSON document of `snap` (keys in a stable order, so equal snapshots
// give equal texts).
std::string snapshot_to_json(const Snapshot& snap);

// The host.commands key of a command: argv joined with single blanks.
std::string host_command_key(const std::vector<std::string>& argv);

// A platform that answers every interaction from `snap`.
Platform make_replay_platform(std::shared_ptr<const Snapshot> snap);

// The platform of make_replay_platform over load_snapshot(path), which finds
// its answers through indexes made once and names the file in its errors.
// Throws as load_snapshot.
Platform load_replay_platform(const std::string& path);

// The same, with the snapshot it replays.
struct LoadedReplay {
  Platform platform;
  std::shared_ptr<const Snapshot> snapshot;
  std::string path;
  // The platform of the snapshot's `n`th read after the first
  // (snapshot_round); `platform` for 0.
  Platform round(std::size_t n) const;
};
LoadedReplay load_replay(const std::string& path);

}  // namespace grpaudit::platform
