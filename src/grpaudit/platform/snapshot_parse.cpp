// Reading a snapshot document. All JSON reading lives in this file and the
// text scanner, so that the parser can be swapped without touching the rest
// of the platform layer.
//
// Two readers share the work. The checked reader (nlohmann) accepts exactly
// the documents of the format and words every error. The fast reader
// (simdjson) reads a large snapshot in a fraction of the time but gives up,
// without a word, on anything unusual; the checked reader then reads the
// document again and has the last word. So results and messages are the
// checked reader's, and the fast one only ever saves time.
//
// Loaded for a replay, a snapshot leaves its long texts in the file: the text
// scanner finds and checks them, the fast reader reads the rest of the
// document, and the replay reads each text from the file when it is asked
// for (file_texts.h). Where the scanner or the fast reader gives up, the
// document is read as above.

#include "grpaudit/platform/snapshot_parse.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include <simdjson.h>
#include <nlohmann/json.hpp>

#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/file_texts.h"
#include "grpaudit/platform/snapshot.h"
#include "grpaudit/platform/text_scanner.h"
#include "grpaudit/util/json_brief.h"
#include "grpaudit/util/json_errors.h"

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
      const auto [line, column] = util::line_and_column(text, e.byte == 0 ? 0 : e.byte - 1);
      fail("not valid JSON at line " + std::to_string(line) + ", column " + std::to_string(column) +
           ": " + util::parse_reason(e));
    } catch (const json::exception& e) {
      // A number too large for a double fails the parse without a position.
      fail("not valid JSON: " + util::parse_reason(e));
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

// --- the fast reader ---------------------------------------------------------

namespace sj = simdjson;

class FastReader {
 public:
  FastReader() = default;
  // Reads a document from which the texts of `found` were left out, and
  // records them in in_file() instead of reading them.
  explicit FastReader(const TextSpans* found) : found_(found) {}

  // The texts left empty, with their places in the file.
  const TextSpans& in_file() const { return in_file_; }

  std::optional<Snapshot> read(sj::dom::element doc) {
    sj::dom::object top;
    if (doc.get(top)) return std::nullopt;
    // Of a member given twice the last counts, as in the checked reader.
    std::optional<sj::dom::element> format, version, description, sdk, pt, vrfs, host;
    for (const auto field : top) {
      const std::string_view k = field.key;
      if (k == "format")
        format = field.value;
      else if (k == "version")
        version = field.value;
      else if (k == "description")
        description = field.value;
      else if (k == "sdk")
        sdk = field.value;
      else if (k == "port_table")
        pt = field.value;
      else if (k == "vrfs")
        vrfs = field.value;
      else if (k == "host")
        host = field.value;
    }
    std::string_view text;
    if (!format || format->get(text) || text != kSnapshotFormat) return std::nullopt;
    std::int64_t v = 0;
    if (!version || !version->is_int64() || version->get(v) || v != kSnapshotVersion)
      return std::nullopt;

    Snapshot snap;
    if (description && !string(*description, snap.description)) return std::nullopt;
    if (sdk && !read_sdk(*sdk, snap)) return std::nullopt;
    if (pt && !read_port_table(*pt, snap)) return std::nullopt;
    if (vrfs && !string_map(*vrfs, snap.vrfs)) return std::nullopt;
    if (host && !read_host(*host, snap)) return std::nullopt;
    return snap;
  }

 private:
  using Kind = TextSpans::ByKey TextSpans::*;

  static bool string(sj::dom::element e, std::string& out) {
    std::string_view v;
    if (e.get(v)) return false;
    // A long text may be a JSON listing that is parsed again (the kernel's
    // routes, the bridge VLANs): with room for the parser's padding behind
    // it, the parser reads it in place instead of copying it.
    if (v.size() >= kPadFrom) out.reserve(v.size() + sj::SIMDJSON_PADDING);
    out.assign(v);
    return true;
  }
  static constexpr std::size_t kPadFrom = 4096;

  // A string of `kind` under `key`: one left out of the document (an empty
  // string in its place) when `found` has it. Of a key given twice the last
  // counts, and so does the place found.
  bool text(sj::dom::element e, std::string& out, Kind kind, std::string_view key) {
    if (found_ == nullptr) return string(e, out);
    std::string_view v;
    if (e.get(v)) return false;
    TextSpans::ByKey& in_file = in_file_.*kind;
    const TextSpans::ByKey& found = found_->*kind;
    if (const auto it = v.empty() ? found.find(key) : found.end(); it != found.end()) {
      out.clear();
      in_file.insert_or_assign(std::string(key), it->second);
      return true;
    }
    if (const auto gone = in_file.find(key); gone != in_file.end()) in_file.erase(gone);
    return string(e, out);
  }

  static bool strings(sj::dom::element e, std::vector<std::string>& out) {
    sj::dom::array a;
    if (e.get(a)) return false;
    out.clear();
    out.reserve(a.size());
    for (const auto item : a) {
      if (!string(item, out.emplace_back())) return false;
    }
    return true;
  }

  bool string_map(sj::dom::element e, std::map<std::string, std::string>& out,
                  Kind kind = nullptr) {
    sj::dom::object o;
    if (e.get(o)) return false;
    out.clear();
    if (kind != nullptr) (in_file_.*kind).clear();
    for (const auto field : o) {
      std::string value;
      if (!(kind != nullptr ? text(field.value, value, kind, field.key)
                            : string(field.value, value)))
        return false;
      out.insert_or_assign(std::string(field.key), std::move(value));
    }
    return true;
  }

  // Only integers that fit a signed 64-bit value: the checked reader words the rest.
  static bool int64(sj::dom::element e, std::int64_t& out) { return e.is_int64() && !e.get(out); }

  bool read_sdk(sj::dom::element e, Snapshot& snap) {
    sj::dom::object sdk;
    if (e.get(sdk)) return false;
    std::optional<sj::dom::element> commands, tables;
    for (const auto field : sdk) {
      if (field.key == "commands")
        commands = field.value;
      else if (field.key == "tables")
        tables = field.value;
    }
    if (commands && !string_map(*commands, snap.sdk_commands, &TextSpans::sdk_commands))
      return false;
    if (!tables) return true;
    sj::dom::object names;
    if (tables->get(names)) return false;
    for (const auto table : names) {
      sj::dom::object indexes;
      if (table.value.get(indexes)) return false;
      auto& entries = snap.sdk_tables[std::string(table.key)];
      entries.clear();
      for (const auto entry : indexes) {
        sj::dom::object values;
        if (entry.value.get(values)) return false;
        auto& fields = entries[std::string(entry.key)];
        fields.clear();
        for (const auto field : values) {
          std::int64_t n = 0;
          if (!int64(field.value, n)) return false;
          fields.insert_or_assign(std::string(field.key), n);
        }
      }
    }
    return true;
  }

  bool read_port_table(sj::dom::element e, Snapshot& snap) {
    sj::dom::object pt;
    if (e.get(pt)) return false;
    std::optional<sj::dom::element> ports, map;
    for (const auto field : pt) {
      if (field.key == "linux_ports")
        ports = field.value;
      else if (field.key == "sdk_to_linux")
        map = field.value;
    }
    if (ports && !strings(*ports, snap.linux_ports)) return false;
    return !map || string_map(*map, snap.sdk_to_linux);
  }

  bool read_host(sj::dom::element e, Snapshot& snap) {
    sj::dom::object host;
    if (e.get(host)) return false;
    std::optional<sj::dom::element> commands, files, dirs;
    for (const auto field : host) {
      if (field.key == "commands")
        commands = field.value;
      else if (field.key == "files")
        files = field.value;
      else if (field.key == "dirs")
        dirs = field.value;
    }
    if (commands) {
      sj::dom::object cmds;
      if (commands->get(cmds)) return false;
      for (const auto cmd : cmds) {
        sj::dom::object members;
        if (cmd.value.get(members)) return false;
        std::optional<sj::dom::element> status, out;
        for (const auto field : members) {
          if (field.key == "status")
            status = field.value;
          else if (field.key == "stdout")
            out = field.value;
        }
        HostCommand hc;
        if (status) {
          std::int64_t n = 0;
          if (!int64(*status, n) || n < std::numeric_limits<int>::min() ||
              n > std::numeric_limits<int>::max())
            return false;
          hc.status = static_cast<int>(n);
        }
        // A command given twice: the last one's output counts, or none.
        if (const auto it = in_file_.host_stdout.find(cmd.key); it != in_file_.host_stdout.end())
          in_file_.host_stdout.erase(it);
        if (out && !text(*out, hc.stdout_text, &TextSpans::host_stdout, cmd.key)) return false;
        snap.host_commands.insert_or_assign(std::string(cmd.key), std::move(hc));
      }
    }
    if (files && !string_map(*files, snap.host_files, &TextSpans::host_files)) return false;
    if (!dirs) return true;
    sj::dom::object paths;
    if (dirs->get(paths)) return false;
    for (const auto dir : paths) {
      std::vector<std::string> names;
      if (!strings(dir.value, names)) return false;
      snap.host_dirs.insert_or_assign(std::string(dir.key), std::move(names));
    }
    return true;
  }

  const TextSpans* found_ = nullptr;
  TextSpans in_file_;
};

// A file's bytes followed by the zeroed padding that the fast reader may
// read past the end.
class PaddedText {
 public:
  char* data() { return buf_.get(); }
  std::size_t size() const { return size_; }
  std::string_view view() const { return {buf_.get(), size_}; }
  sj::padded_string_view padded() const {
    return sj::padded_string_view(buf_.get(), size_, size_ + sj::SIMDJSON_PADDING);
  }

  // Room for at least `n` more bytes after the text.
  char* room(std::size_t n) {
    if (cap_ - size_ < n) {
      const std::size_t cap = std::max(size_ + n, 2 * cap_);
      auto grown = std::make_unique_for_overwrite<char[]>(cap + sj::SIMDJSON_PADDING);
      if (size_ > 0) std::memcpy(grown.get(), buf_.get(), size_);
      buf_ = std::move(grown);
      cap_ = cap;
    }
    return buf_.get() + size_;
  }
  std::size_t capacity_left() const { return cap_ - size_; }
  void grow(std::size_t n) { size_ += n; }
  void finish() { std::memset(room(0), 0, sj::SIMDJSON_PADDING); }

 private:
  std::unique_ptr<char[]> buf_;
  std::size_t size_ = 0;
  std::size_t cap_ = 0;
};

// An open file, closed when dropped.
class OpenFile {
 public:
  explicit OpenFile(int fd = -1) : fd_(fd) {}
  OpenFile(OpenFile&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  OpenFile& operator=(OpenFile&& o) noexcept {
    std::swap(fd_, o.fd_);
    return *this;
  }
  ~OpenFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// The rest of `fd`, or the errno of the failing call. Plain POSIX calls so
// the error message can carry the system's reason. `st`, the file's state
// when known, sizes the buffer.
int read_all(int fd, const struct stat* st, PaddedText& out) {
  // One byte more than the size: a read that fills it tells the file grew.
  const std::size_t hint =
      st != nullptr && st->st_size > 0 ? static_cast<std::size_t>(st->st_size) + 1 : 65536;
  out.room(hint);
  for (;;) {
    if (out.capacity_left() == 0) out.room(65536);
    const ssize_t n = ::read(fd, out.room(1), out.capacity_left());
    if (n > 0) {
      out.grow(static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      return errno;
    }
  }
  out.finish();
  return 0;
}

[[noreturn]] void cannot_read(const std::string& path, int err) {
  throw SnapshotError("snapshot " + path + ": cannot read: " + std::strerror(err));
}

void read_whole_file(const std::string& path, PaddedText& out) {
  const OpenFile file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) cannot_read(path, errno);
  struct stat st {};
  const bool known = ::fstat(file.get(), &st) == 0;
  if (const int err = read_all(file.get(), known ? &st : nullptr, out); err != 0)
    cannot_read(path, err);
}

std::optional<Snapshot> parse_fast(const sj::padded_string_view& text) {
  sj::dom::parser parser;
  sj::dom::element doc;
  if (parser.parse(text).get(doc)) return std::nullopt;
  return FastReader().read(doc);
}

}  // namespace

namespace detail {

std::optional<Snapshot> parse_snapshot_fast(std::string_view json_text) {
  const sj::padded_string padded(json_text);
  return parse_fast(padded);
}

Snapshot parse_snapshot_checked(std::string_view json_text, const std::string& name) {
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

}  // namespace detail

Snapshot parse_snapshot(std::string_view json_text, const std::string& name) {
  if (auto snap = detail::parse_snapshot_fast(json_text)) return std::move(*snap);
  return detail::parse_snapshot_checked(json_text, name);
}

namespace {

// A snapshot as loaded, with the texts left in its file.
struct Loaded {
  Snapshot snap;
  TextSpans in_file;
  OpenFile file;         // open while texts are left in it
  struct stat state {};  // of the file as read
};

std::size_t count(const TextSpans& t) {
  return t.sdk_commands.size() + t.host_stdout.size() + t.host_files.size();
}

// The snapshot in `path`. With `texts_from`, the long texts (at least that
// many bytes) are left in the file where the scanner can.
Loaded load(const std::string& path, std::optional<std::size_t> texts_from) {
  Loaded out;
  OpenFile file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) cannot_read(path, errno);
  struct stat before {};
  const bool known = ::fstat(file.get(), &before) == 0;
  PaddedText text;
  if (const int err = read_all(file.get(), known ? &before : nullptr, text); err != 0)
    cannot_read(path, err);
  // Texts stay only in a plain file that did not change while it was read.
  const bool may_leave = texts_from && known && S_ISREG(before.st_mode) &&
                         ::fstat(file.get(), &out.state) == 0 &&
                         FileTexts::unchanged(before, out.state) &&
                         static_cast<std::size_t>(out.state.st_size) == text.size();
  if (may_leave) {
    TextScanner scanner(text.view(), *texts_from);
    if (scanner.scan() && scanner.left_out()) {
      PaddedText rest;
      scanner.write_rest(rest.room(scanner.rest_size()));
      rest.grow(scanner.rest_size());
      rest.finish();
      // What was left out is read from the file again when it is replayed.
      text = PaddedText();
      sj::dom::parser parser;
      sj::dom::element doc;
      if (!parser.parse(rest.padded()).get(doc)) {
        FastReader reader(&scanner.spans());
        if (auto snap = reader.read(doc)) {
          out.snap = std::move(*snap);
          out.in_file = reader.in_file();
          if (count(out.in_file) > 0) out.file = std::move(file);
          return out;
        }
      }
      // Something unusual: the whole document the usual way.
      read_whole_file(path, text);
    }
  }
  bool released = false;
  {
    sj::dom::parser parser;
    sj::dom::element doc;
    if (!parser.parse(text.padded()).get(doc)) {
      // The parsed document holds every string itself: let the file's text
      // go before the snapshot's copies are made, a third less memory at
      // the peak. In the rare case the fast reader stands aside, the file is
      // read again for the checked reader.
      text = PaddedText();
      released = true;
      if (auto snap = FastReader().read(doc)) {
        out.snap = std::move(*snap);
        return out;
      }
    }
  }
  if (released) read_whole_file(path, text);
  out.snap = detail::parse_snapshot_checked(text.view(), path);
  return out;
}

// The shortest text left in the file: the listings that make up a large
// switch's snapshot are hundreds of kilobytes and more, and are each read
// once, while the many small answers may be asked for again and again.
constexpr std::size_t kTextsInFileFrom = 64 * 1024;

}  // namespace

Snapshot load_snapshot(const std::string& path) {
  return load(path, std::nullopt).snap;
}

namespace detail {

ReplayLoad load_replay(const std::string& path, std::size_t texts_from) {
  Loaded loaded = load(path, texts_from);
  auto snap = std::make_shared<const Snapshot>(std::move(loaded.snap));
  const std::size_t n = count(loaded.in_file);
  std::shared_ptr<FileTexts> texts;
  if (n > 0) {
    texts = std::make_shared<FileTexts>(path, loaded.file.release(), loaded.state);
    for (const auto& [key, span] : loaded.in_file.sdk_commands)
      texts->add(snap->sdk_commands.at(key), span);
    for (const auto& [key, span] : loaded.in_file.host_stdout)
      texts->add(snap->host_commands.at(key).stdout_text, span);
    for (const auto& [key, span] : loaded.in_file.host_files)
      texts->add(snap->host_files.at(key), span);
  }
  return {make_replay_platform(std::move(snap), std::move(texts)), n};
}

}  // namespace detail

Platform load_replay_platform(const std::string& path) {
  return detail::load_replay(path, kTextsInFileFrom).platform;
}

}  // namespace grpaudit::platform
