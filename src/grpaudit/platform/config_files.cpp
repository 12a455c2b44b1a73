#include "grpaudit/platform/config_files.h"

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
    if (it == names.end()) throw std::out_of_range(fmt::format("unknown VRF id {}", vrf_id));
    return it->second;
  }

  std::map<std::int64_t, std::string> names{{0, "default"}};
};

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::system_error(errno, std::generic_category(), "cannot read " + path);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
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
    db->names[util::parse_dec(words[0])] = std::string(words[1]);
  });
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
