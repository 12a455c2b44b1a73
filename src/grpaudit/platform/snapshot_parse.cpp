// Reading a snapshot document: the file is read once, whole, parsed once
// (util::parse_json), and the parsed document is checked as it is copied
// into the Snapshot, each error naming its place in the document.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include <simdjson.h>
#include <nlohmann/json.hpp>

#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/snapshot.h"
#include "grpaudit/util/json_brief.h"
#include "grpaudit/util/json_errors.h"
#include "grpaudit/util/json_parse.h"

namespace grpaudit::platform {
namespace {

namespace sj = simdjson;
using Element = sj::dom::element;

// A JSON value as it appears in a message, cut short so a stray object does
// not flood the terminal.
std::string brief(Element v) {
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
std::string keyed(const std::string& parent, std::string_view key) {
  return parent + "." + nlohmann::json(std::string(key)).dump();
}
std::string indexed(const std::string& parent, std::size_t i) {
  return parent + "[" + std::to_string(i) + "]";
}

// Member `name` of `obj`; of a member given twice the last.
std::optional<Element> find(sj::dom::object obj, std::string_view name) {
  std::optional<Element> found;
  for (const auto field : obj) {
    if (field.key == name) found = field.value;
  }
  return found;
}

class Reader {
 public:
  explicit Reader(const std::string& name) : name_(name) {}

  [[noreturn]] void fail(const std::string& what) const {
    throw SnapshotError("snapshot " + name_ + ": " + what);
  }

  Element parse(sj::dom::parser& parser, sj::padded_string_view text) const {
    try {
      return util::parse_padded_json(parser, text);
    } catch (const nlohmann::json::parse_error& e) {
      if (e.byte == 0) fail("not valid JSON: " + util::parse_reason(e));
      // e.byte counts the bytes read, the offending one included.
      const auto [line, column] = util::line_and_column(text, e.byte - 1);
      fail("not valid JSON at line " + std::to_string(line) + ", column " + std::to_string(column) +
           ": " + util::parse_reason(e));
    } catch (const nlohmann::json::exception& e) {
      // A number too large for a double fails without a position.
      fail("not valid JSON: " + util::parse_reason(e));
    }
  }

  // Member `name` of `obj`, which must be an object when present.
  std::optional<sj::dom::object> section(sj::dom::object obj, const char* name,
                                         const std::string& place) const {
    const auto v = find(obj, name);
    if (!v) return std::nullopt;
    return object(*v, place);
  }

  sj::dom::object object(Element v, const std::string& place) const {
    sj::dom::object obj;
    if (v.get(obj)) fail(place + " must be an object");
    return obj;
  }

  std::string string(Element v, const std::string& place) const {
    std::string_view text;
    if (v.get(text)) fail(place + " must be a string");
    return std::string(text);
  }

  std::int64_t int64(Element v, const std::string& place) const {
    if (v.is_int64()) return v.get_int64().value_unsafe();
    if (v.is_uint64()) fail(place + " is out of range");
    fail(place + " must be an integer");
  }

  int integer(Element v, const std::string& place) const {
    const std::int64_t n = int64(v, place);
    if (n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
      fail(place + " is out of range");
    return static_cast<int>(n);
  }

  std::vector<std::string> strings(Element v, const std::string& place) const {
    sj::dom::array items;
    if (v.get(items)) fail(place + " must be an array");
    std::vector<std::string> out;
    std::size_t i = 0;
    for (const Element item : items) out.push_back(string(item, indexed(place, i++)));
    return out;
  }

  // Of a key given twice the last counts.
  std::map<std::string, std::string> string_map(sj::dom::object obj,
                                                const std::string& place) const {
    std::map<std::string, std::string> out;
    for (const auto field : obj)
      out.insert_or_assign(std::string(field.key), string(field.value, keyed(place, field.key)));
    return out;
  }

 private:
  const std::string& name_;
};

void read_header(const Reader& r, sj::dom::object doc, Snapshot& snap) {
  const auto format = find(doc, "format");
  if (!format) r.fail("not a grpaudit snapshot (no format)");
  std::string_view text;
  if (format->get(text) || text != kSnapshotFormat)
    r.fail("not a grpaudit snapshot (format is " + brief(*format) + ")");

  const auto version = find(doc, "version");
  if (!version) r.fail("no version");
  if (!version->is_int64() || version->get_int64().value_unsafe() != kSnapshotVersion)
    r.fail("unsupported version " + brief(*version));

  if (const auto d = find(doc, "description")) snap.description = r.string(*d, "description");
  if (const auto rec = r.section(doc, "recorded", "recorded")) {
    Recording& out = snap.recorded.emplace();
    if (const auto v = find(*rec, "time")) out.time = r.string(*v, "recorded.time");
    if (const auto v = find(*rec, "program")) out.program = r.string(*v, "recorded.program");
    if (const auto v = find(*rec, "host")) out.host = r.string(*v, "recorded.host");
    if (const auto v = find(*rec, "options")) out.options = r.strings(*v, "recorded.options");
  }
}

void read_sdk(const Reader& r, sj::dom::object sdk, Snapshot& snap, const std::string& at) {
  if (const auto cmds = r.section(sdk, "commands", member(at, "commands")))
    snap.sdk_commands = r.string_map(*cmds, member(at, "commands"));

  const auto tables = r.section(sdk, "tables", member(at, "tables"));
  if (!tables) return;
  for (const auto table : *tables) {
    const std::string tplace = keyed(member(at, "tables"), table.key);
    auto& entries = snap.sdk_tables[std::string(table.key)];
    entries.clear();
    for (const auto entry : r.object(table.value, tplace)) {
      const std::string eplace = keyed(tplace, entry.key);
      auto& fields = entries[std::string(entry.key)];
      fields.clear();
      for (const auto field : r.object(entry.value, eplace))
        fields.insert_or_assign(std::string(field.key),
                                r.int64(field.value, keyed(eplace, field.key)));
    }
  }
}

void read_port_table(const Reader& r, sj::dom::object pt, Snapshot& snap) {
  if (const auto ports = find(pt, "linux_ports"))
    snap.linux_ports = r.strings(*ports, "port_table.linux_ports");
  if (const auto map = r.section(pt, "sdk_to_linux", "port_table.sdk_to_linux"))
    snap.sdk_to_linux = r.string_map(*map, "port_table.sdk_to_linux");
}

void read_host(const Reader& r, sj::dom::object host, Snapshot& snap, const std::string& at) {
  if (const auto cmds = r.section(host, "commands", member(at, "commands"))) {
    for (const auto cmd : *cmds) {
      const std::string place = keyed(member(at, "commands"), cmd.key);
      const sj::dom::object members = r.object(cmd.value, place);
      HostCommand hc;
      if (const auto s = find(members, "status"))
        hc.status = r.integer(*s, member(place, "status"));
      if (const auto o = find(members, "stdout"))
        hc.stdout_text = r.string(*o, member(place, "stdout"));
      snap.host_commands.insert_or_assign(std::string(cmd.key), std::move(hc));
    }
  }
  if (const auto files = r.section(host, "files", member(at, "files")))
    snap.host_files = r.string_map(*files, member(at, "files"));
  if (const auto dirs = r.section(host, "dirs", member(at, "dirs"))) {
    for (const auto dir : *dirs)
      snap.host_dirs.insert_or_assign(std::string(dir.key),
                                      r.strings(dir.value, keyed(member(at, "dirs"), dir.key)));
  }
}

Snapshot read_document(const Reader& r, Element root) {
  sj::dom::object doc;
  if (root.get(doc)) r.fail("not a grpaudit snapshot (not a JSON object)");
  Snapshot snap;
  read_header(r, doc, snap);
  if (const auto sdk = r.section(doc, "sdk", "sdk")) read_sdk(r, *sdk, snap, "sdk");
  if (const auto pt = r.section(doc, "port_table", "port_table")) read_port_table(r, *pt, snap);
  if (const auto vrfs = r.section(doc, "vrfs", "vrfs")) snap.vrfs = r.string_map(*vrfs, "vrfs");
  if (const auto host = r.section(doc, "host", "host")) read_host(r, *host, snap, "host");
  if (const auto rounds = find(doc, "rounds")) {
    sj::dom::array list;
    if (rounds->get(list)) r.fail("rounds must be an array");
    for (const auto round : list) {
      const std::string place = indexed("rounds", snap.rounds.size());
      const sj::dom::object obj = r.object(round, place);
      Snapshot& later = snap.rounds.emplace_back();
      if (const auto sdk = r.section(obj, "sdk", member(place, "sdk")))
        read_sdk(r, *sdk, later, member(place, "sdk"));
      if (const auto host = r.section(obj, "host", member(place, "host")))
        read_host(r, *host, later, member(place, "host"));
    }
  }
  return snap;
}

// A text followed by the zeroed padding the parser may read past its end.
class PaddedText {
 public:
  explicit PaddedText(std::size_t capacity = 0) { reserve(capacity); }

  sj::padded_string_view padded() const {
    return sj::padded_string_view(buf_.get(), size_, cap_ + sj::SIMDJSON_PADDING);
  }
  std::size_t size() const { return size_; }

  // Room for at least `n` more bytes after the text.
  char* room(std::size_t n) {
    if (cap_ - size_ < n) reserve(std::max(size_ + n, 2 * cap_));
    return buf_.get() + size_;
  }
  std::size_t room_left() const { return cap_ - size_; }
  void grow(std::size_t n) { size_ += n; }
  void finish() { std::memset(buf_.get() + size_, 0, cap_ - size_ + sj::SIMDJSON_PADDING); }

 private:
  void reserve(std::size_t cap) {
    auto grown = std::make_unique_for_overwrite<char[]>(cap + sj::SIMDJSON_PADDING);
    if (size_ > 0) std::memcpy(grown.get(), buf_.get(), size_);
    buf_ = std::move(grown);
    cap_ = cap;
  }

  std::unique_ptr<char[]> buf_;
  std::size_t size_ = 0;
  std::size_t cap_ = 0;
};

[[noreturn]] void cannot_read(const std::string& path, int err) {
  throw SnapshotError("snapshot " + path + ": cannot read: " + std::strerror(err));
}

// The whole file, read with plain POSIX calls so that an error carries the
// system's reason.
PaddedText read_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) cannot_read(path, errno);
  const std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* p) {
    ::close(*p);
    delete p;
  });
  struct stat st {};
  // One byte more than the size: a read that fills it tells the file grew.
  const std::size_t hint = ::fstat(fd, &st) == 0 && st.st_size > 0
                               ? static_cast<std::size_t>(st.st_size) + 1
                               : std::size_t{65536};
  PaddedText text(hint);
  for (;;) {
    if (text.room_left() == 0) text.room(65536);
    const ssize_t n = ::read(fd, text.room(1), text.room_left());
    if (n > 0) {
      text.grow(static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      cannot_read(path, errno);
    }
  }
  text.finish();
  return text;
}

}  // namespace

Snapshot parse_snapshot(std::string_view json_text, const std::string& name) {
  const Reader r(name);
  PaddedText text(json_text.size());
  if (!json_text.empty())
    std::memcpy(text.room(json_text.size()), json_text.data(), json_text.size());
  text.grow(json_text.size());
  text.finish();
  sj::dom::parser parser;
  return read_document(r, r.parse(parser, text.padded()));
}

Snapshot load_snapshot(const std::string& path) {
  const Reader r(path);
  sj::dom::parser parser;
  Element doc;
  {
    const PaddedText text = read_file(path);
    doc = r.parse(parser, text.padded());
    // The parsed document holds its strings itself: the file's text goes
    // before the snapshot's copies are made.
  }
  return read_document(r, doc);
}

}  // namespace grpaudit::platform
