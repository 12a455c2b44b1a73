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

}  // namespace grpaudit::platform
