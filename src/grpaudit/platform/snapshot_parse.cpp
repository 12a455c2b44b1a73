// Reading a snapshot document. All JSON reading lives in this file, so that
// the parser can be swapped without touching the rest of the platform layer.

#include <cstdint>
#include <limits>
#include <string>

#include <nlohmann/json.hpp>

#include "grpaudit/asic/errors.h"
#include "grpaudit/platform/snapshot.h"
#include "grpaudit/util/json_brief.h"

namespace grpaudit::platform {
namespace {

using nlohmann::json;

// A JSON value as it appears in a message, cut short so a stray object does
// not flood the terminal.
std::string brief(const json& v) {
  constexpr std::size_t kMax = 60;
  std::string text = util::json_brief(v);
  if (text.size() > kMax) text = text.substr(0, kMax) + "...";
  return text;
}

// Places in the document: fixed member names bare, keys taken from the data
// quoted, so `sdk.commands."show unit"` is unambiguous even with dots in keys.
std::string member(const std::string& parent, const char* name) {
  return parent.empty() ? std::string(name) : parent + "." + name;
}
std::string keyed(const std::string& parent, const std::string& key) {
  return parent + "." + json(key).dump();
}
std::string indexed(const std::string& parent, std::size_t i) {
  return parent + "[" + std::to_string(i) + "]";
}

// 1-based line and column (in characters) of the byte at `offset`.
std::pair<std::size_t, std::size_t> line_and_column(std::string_view text, std::size_t offset) {
  offset = std::min(offset, text.size());
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i < offset; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      ++line;
      column = 1;
    } else if ((c & 0xC0) != 0x80) {  // UTF-8 continuation bytes do not start a character
      ++column;
    }
  }
  return {line, column};
}

// The parser's own explanation, without its error id and position prefix.
std::string parse_reason(const json::exception& e) {
  std::string_view what = e.what();
  if (auto p = what.find("] "); p != std::string_view::npos) what.remove_prefix(p + 2);
  if (what.starts_with("parse error")) {
    if (auto p = what.find(": "); p != std::string_view::npos) what.remove_prefix(p + 2);
  }
  return std::string(what);
}

class Reader {
 public:
  explicit Reader(const std::string& name) : name_(name) {}

  [[noreturn]] void fail(const std::string& what) const {
    throw SnapshotError("snapshot " + name_ + ": " + what);
  }

  json parse(std::string_view text) const {
    try {
      return json::parse(text);
    } catch (const json::parse_error& e) {
      // e.byte counts the bytes read, the offending one included.
      const auto [line, column] = line_and_column(text, e.byte == 0 ? 0 : e.byte - 1);
      fail("not valid JSON at line " + std::to_string(line) + ", column " + std::to_string(column) +
           ": " + parse_reason(e));
    } catch (const json::exception& e) {
      // A number too large for a double fails the parse without a position.
      fail("not valid JSON: " + parse_reason(e));
    }
  }

  // Member `name` of `obj`, which must be an object when present.
  const json* section(const json& obj, const char* name, const std::string& place) const {
    const auto it = obj.find(name);
    if (it == obj.end()) return nullptr;
    if (!it->is_object()) fail(place + " must be an object");
    return &*it;
  }

  const json& object(const json& v, const std::string& place) const {
    if (!v.is_object()) fail(place + " must be an object");
    return v;
  }

  std::string string(const json& v, const std::string& place) const {
    if (!v.is_string()) fail(place + " must be a string");
    return v.get<std::string>();
  }

  std::int64_t int64(const json& v, const std::string& place) const {
    if (!v.is_number_integer()) fail(place + " must be an integer");
    if (v.is_number_unsigned() &&
        v.get<std::uint64_t>() >
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
      fail(place + " is out of range");
    return v.get<std::int64_t>();
  }

  int integer(const json& v, const std::string& place) const {
    const std::int64_t n = int64(v, place);
    if (n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
      fail(place + " is out of range");
    return static_cast<int>(n);
  }

  std::vector<std::string> strings(const json& v, const std::string& place) const {
    if (!v.is_array()) fail(place + " must be an array");
    std::vector<std::string> out;
    out.reserve(v.size());
    for (std::size_t i = 0; i < v.size(); ++i) out.push_back(string(v[i], indexed(place, i)));
    return out;
  }

  std::map<std::string, std::string> string_map(const json& obj, const std::string& place) const {
    std::map<std::string, std::string> out;
    for (const auto& [key, v] : obj.items()) out.emplace(key, string(v, keyed(place, key)));
    return out;
  }

 private:
  const std::string& name_;
};

void read_header(const Reader& r, const json& doc, Snapshot& snap) {
  const auto format = doc.find("format");
  if (format == doc.end()) r.fail("not a grpaudit snapshot (no format)");
  if (!format->is_string() || format->get<std::string>() != kSnapshotFormat)
    r.fail("not a grpaudit snapshot (format is " + brief(*format) + ")");

  const auto version = doc.find("version");
  if (version == doc.end()) r.fail("no version");
  if (!version->is_number_integer() || *version != kSnapshotVersion)
    r.fail("unsupported version " + brief(*version));

  if (const auto d = doc.find("description"); d != doc.end())
    snap.description = r.string(*d, "description");
}

void read_sdk(const Reader& r, const json& sdk, Snapshot& snap) {
  if (const json* cmds = r.section(sdk, "commands", "sdk.commands"))
    snap.sdk_commands = r.string_map(*cmds, "sdk.commands");

  if (const json* tables = r.section(sdk, "tables", "sdk.tables")) {
    for (const auto& [name, table] : tables->items()) {
      const std::string tplace = keyed("sdk.tables", name);
      auto& entries = snap.sdk_tables[name];
      for (const auto& [index, entry] : r.object(table, tplace).items()) {
        const std::string eplace = keyed(tplace, index);
        auto& fields = entries[index];
        for (const auto& [field, value] : r.object(entry, eplace).items())
          fields.emplace(field, r.int64(value, keyed(eplace, field)));
      }
    }
  }
}

void read_port_table(const Reader& r, const json& pt, Snapshot& snap) {
  if (const auto ports = pt.find("linux_ports"); ports != pt.end())
    snap.linux_ports = r.strings(*ports, "port_table.linux_ports");
  if (const json* map = r.section(pt, "sdk_to_linux", "port_table.sdk_to_linux"))
    snap.sdk_to_linux = r.string_map(*map, "port_table.sdk_to_linux");
}

void read_host(const Reader& r, const json& host, Snapshot& snap) {
  if (const json* cmds = r.section(host, "commands", "host.commands")) {
    for (const auto& [key, cmd] : cmds->items()) {
      const std::string place = keyed("host.commands", key);
      HostCommand hc;
      r.object(cmd, place);
      if (const auto s = cmd.find("status"); s != cmd.end())
        hc.status = r.integer(*s, member(place, "status"));
      if (const auto o = cmd.find("stdout"); o != cmd.end())
        hc.stdout_text = r.string(*o, member(place, "stdout"));
      snap.host_commands.emplace(key, std::move(hc));
    }
  }
  if (const json* files = r.section(host, "files", "host.files"))
    snap.host_files = r.string_map(*files, "host.files");
  if (const json* dirs = r.section(host, "dirs", "host.dirs")) {
    for (const auto& [path, names] : dirs->items())
      snap.host_dirs.emplace(path, r.strings(names, keyed("host.dirs", path)));
  }
}

}  // namespace

Snapshot parse_snapshot(std::string_view json_text, const std::string& name) {
  const Reader r(name);
  const json doc = r.parse(json_text);
  if (!doc.is_object()) r.fail("not a grpaudit snapshot (not a JSON object)");

  Snapshot snap;
  read_header(r, doc, snap);
  if (const json* sdk = r.section(doc, "sdk", "sdk")) read_sdk(r, *sdk, snap);
  if (const json* pt = r.section(doc, "port_table", "port_table")) read_port_table(r, *pt, snap);
  if (const json* vrfs = r.section(doc, "vrfs", "vrfs")) snap.vrfs = r.string_map(*vrfs, "vrfs");
  if (const json* host = r.section(doc, "host", "host")) read_host(r, *host, snap);
  return snap;
}

}  // namespace grpaudit::platform
