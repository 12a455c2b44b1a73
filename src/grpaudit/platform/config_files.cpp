#include "grpaudit/platform/config_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "grpaudit/util/ints.h"
#include "grpaudit/util/text.h"

namespace grpaudit::platform {
namespace {

class FilePortTable : public quorvex::ifatlas::ifatlas {
 public:
  std::vector<std::string> get_linux_ports() override { return linux_ports; }
  std::string bcm2linux(const std::string& sdk_port) override {
    const auto it = sdk_to_linux.find(sdk_port);
    if (it == sdk_to_linux.end()) throw std::out_of_range("unknown SDK port " + sdk_port);
    return it->second;
  }

  std::vector<std::string> linux_ports;
  std::map<std::string, std::string> sdk_to_linux;
};

class MapVrfDb : public quorvex::grpaudit_util::VrfDb {
 public:
  std::string vrf_id2name(std::int64_t vrf_id) override {
    const auto it = names.find(vrf_id);
    if (it == names.end()) {
      throw std::out_of_range(
          fmt::format("unknown VRF id {} (give its name in the VRF map, --vrf-map FILE)", vrf_id));
    }
    return it->second;
  }

  std::map<std::int64_t, std::string> names{{0, "default"}};
};

std::string read_text(const std::string& path) {
  const auto fail = [&](int err) {
    throw std::system_error(err, std::generic_category(), "cannot read " + path);
  };
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(errno);
  std::string text;
  struct stat st {};
  // A directory opens, and reads as nothing: an empty table, a wrong one.
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    fail(EISDIR);
  }
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      text.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      const int err = errno;
      ::close(fd);
      fail(err);
    }
  }
  ::close(fd);
  return text;
}

// Calls `fn(line number, words)` for every line that is not blank or a comment.
template <typename Fn>
void for_each_entry(std::string_view text, Fn fn) {
  const auto lines = util::split_lines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (const auto hash = line.find('#'); hash != std::string_view::npos)
      line = line.substr(0, hash);
    const auto words = util::split_ws(line);
    if (!words.empty()) fn(i + 1, words);
  }
}

}  // namespace

std::unique_ptr<quorvex::ifatlas::ifatlas> parse_port_table(std::string_view text,
                                                            const std::string& name) {
  auto table = std::make_unique<FilePortTable>();
  for_each_entry(text, [&](std::size_t n, const std::vector<std::string_view>& words) {
    if (words.size() != 2) {
      throw std::runtime_error(
          fmt::format("port table {} line {}: expected \"<sdk port> <linux port>\"", name, n));
    }
    table->sdk_to_linux[std::string(words[0])] = std::string(words[1]);
    table->linux_ports.emplace_back(words[1]);
  });
  // Without a port nothing the SDK prints could be named.
  if (table->linux_ports.empty())
    throw std::runtime_error(fmt::format("port table {} lists no port", name));
  return table;
}

std::unique_ptr<quorvex::grpaudit_util::VrfDb> parse_vrf_map(std::string_view text,
                                                             const std::string& name) {
  auto db = std::make_unique<MapVrfDb>();
  for_each_entry(text, [&](std::size_t n, const std::vector<std::string_view>& words) {
    if (words.size() != 2 || !util::is_digits(words[0])) {
      throw std::runtime_error(
          fmt::format("VRF map {} line {}: expected \"<id> <name>\"", name, n));
    }
    std::int64_t id = 0;
    try {
      id = util::parse_dec(words[0]);
    } catch (const std::invalid_argument&) {
      throw std::runtime_error(
          fmt::format("VRF map {} line {}: VRF id {} is out of range", name, n, words[0]));
    }
    db->names[id] = std::string(words[1]);
  });
  return db;
}

std::unique_ptr<quorvex::ifatlas::ifatlas> make_port_table(
    const std::vector<std::pair<std::string, std::string>>& ports) {
  if (ports.empty()) throw std::runtime_error("port table lists no port");
  auto table = std::make_unique<FilePortTable>();
  for (const auto& [sdk_port, linux_port] : ports) {
    table->sdk_to_linux[sdk_port] = linux_port;
    table->linux_ports.push_back(linux_port);
  }
  return table;
}

std::unique_ptr<quorvex::grpaudit_util::VrfDb> make_vrf_db(
    const std::map<std::int64_t, std::string>& names) {
  auto db = std::make_unique<MapVrfDb>();
  for (const auto& [id, name] : names) db->names[id] = name;
  return db;
}

std::unique_ptr<quorvex::ifatlas::ifatlas> load_port_table(const std::string& path) {
  return parse_port_table(read_text(path), path);
}

std::unique_ptr<quorvex::grpaudit_util::VrfDb> load_vrf_map(const std::string& path) {
  if (path.empty()) return parse_vrf_map("", "");
  return parse_vrf_map(read_text(path), path);
}

}  // namespace grpaudit::platform
