// Writing snapshot documents.

#include "grpaudit/platform/snapshot.h"

#include <nlohmann/json.hpp>

#include "grpaudit/platform/errors.h"

namespace grpaudit::platform {

std::string snapshot_to_json(const Snapshot& snap) {
  using nlohmann::ordered_json;
  ordered_json doc;
  doc["format"] = kSnapshotFormat;
  doc["version"] = kSnapshotVersion;
  doc["description"] = snap.description;
  if (snap.recorded) {
    doc["recorded"] = ordered_json{{"time", snap.recorded->time},
                                   {"program", snap.recorded->program},
                                   {"host", snap.recorded->host},
                                   {"options", snap.recorded->options}};
  }

  // std::map iterates in key order, which keeps the text stable.
  ordered_json& sdk = doc["sdk"] = ordered_json::object();
  sdk["commands"] = snap.sdk_commands;
  sdk["tables"] = snap.sdk_tables;

  ordered_json& pt = doc["port_table"] = ordered_json::object();
  pt["linux_ports"] = snap.linux_ports;
  pt["sdk_to_linux"] = snap.sdk_to_linux;

  doc["vrfs"] = snap.vrfs;

  ordered_json& host = doc["host"] = ordered_json::object();
  ordered_json& cmds = host["commands"] = ordered_json::object();
  for (const auto& [key, cmd] : snap.host_commands)
    cmds[key] = ordered_json{{"status", cmd.status}, {"stdout", cmd.stdout_text}};
  host["files"] = snap.host_files;
  host["dirs"] = snap.host_dirs;

  // The format is UTF-8: a byte that is not becomes U+FFFD rather than
  // failing the whole recording.
  return doc.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

std::string host_command_key(const std::vector<std::string>& argv) {
  std::string key;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    if (i > 0) key.push_back(' ');
    key += argv[i];
  }
  return key;
}

Snapshot snapshot_round(const Snapshot& snap, std::size_t n) {
  Snapshot out = snap;
  out.rounds.clear();
  for (std::size_t i = 0; i < n && i < snap.rounds.size(); ++i) {
    const Snapshot& later = snap.rounds[i];
    for (const auto& [cmd, text] : later.sdk_commands) out.sdk_commands.insert_or_assign(cmd, text);
    for (const auto& [table, entries] : later.sdk_tables) {
      for (const auto& [index, fields] : entries)
        out.sdk_tables[table].insert_or_assign(index, fields);
    }
    for (const auto& [cmd, answer] : later.host_commands)
      out.host_commands.insert_or_assign(cmd, answer);
    for (const auto& [path, text] : later.host_files) out.host_files.insert_or_assign(path, text);
    for (const auto& [path, names] : later.host_dirs) out.host_dirs.insert_or_assign(path, names);
  }
  return out;
}

}  // namespace grpaudit::platform
