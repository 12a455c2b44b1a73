#include "grpaudit/platform/link_batch.h"

#include <set>
#include <system_error>
#include <utility>
#include <vector>

#include "grpaudit/util/text.h"

namespace grpaudit::platform {
namespace {

const std::vector<std::string> kListAll{"/bin/ip", "-d", "link", "show"};

// The device a request asks about, or none for any other command.
std::optional<std::string_view> asked_device(const std::vector<std::string>& argv) {
  if (argv.size() != kListAll.size() + 1) return std::nullopt;
  for (std::size_t i = 0; i < kListAll.size(); ++i) {
    if (argv[i] != kListAll[i]) return std::nullopt;
  }
  return argv.back();
}

// The name of a header line "<index>: <name>[@<link>]: ...", or none.
std::optional<std::string_view> header_name(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
  if (i == 0 || line.substr(i, 2) != ": ") return std::nullopt;
  const std::string_view rest = line.substr(i + 2);
  // A kernel device name holds no ':' and no white space.
  const std::size_t end = rest.find(": ");
  if (end == std::string_view::npos || end == 0) return std::nullopt;
  std::string_view name = rest.substr(0, end);
  // "veth0@if5", "vlan10@br0": the part after '@' is the link, not the name.
  return name.substr(0, name.find('@'));
}

class LinkBatchHost : public Host {
 public:
  explicit LinkBatchHost(std::shared_ptr<Host> inner) : inner_(std::move(inner)) {}

  RunResult run(const std::vector<std::string>& argv) override {
    if (const std::string* block = from_listing(argv)) return {0, *block};
    return inner_->run(argv);
  }
  SharedRunResult run_shared(const std::vector<std::string>& argv) override {
    if (const std::string* block = from_listing(argv))
      return {0, std::make_shared<const std::string>(*block)};
    return inner_->run_shared(argv);
  }
  int run_shell(const std::string& cmdline) override { return inner_->run_shell(cmdline); }
  bool is_regular_file(const std::string& path) override { return inner_->is_regular_file(path); }
  bool is_directory(const std::string& path) override { return inner_->is_directory(path); }
  std::string read_file(const std::string& path) override { return inner_->read_file(path); }
  std::vector<std::string> list_dir(const std::string& path) override {
    return inner_->list_dir(path);
  }

 private:
  // The block answering `argv`, or null when it is to be run for real.
  const std::string* from_listing(const std::vector<std::string>& argv) {
    const auto dev = asked_device(argv);
    if (!dev) return nullptr;
    if (!listed_) {
      listed_ = true;
      try {
        const RunResult all = inner_->run(kListAll);
        if (all.status == 0) blocks_ = split_link_listing(all.out);
      } catch (const std::system_error&) {
        // The devices are then asked one by one, as without the batch.
      }
    }
    if (!blocks_) return nullptr;
    const auto it = blocks_->find(*dev);
    return it == blocks_->end() ? nullptr : &it->second;
  }

  std::shared_ptr<Host> inner_;
  bool listed_ = false;
  std::optional<std::map<std::string, std::string, std::less<>>> blocks_;
};

}  // namespace

std::optional<std::map<std::string, std::string, std::less<>>> split_link_listing(
    std::string_view listing) {
  std::map<std::string, std::string, std::less<>> blocks;
  std::set<std::string, std::less<>> twice;
  std::string* block = nullptr;
  std::size_t pos = 0;
  while (pos < listing.size()) {
    std::size_t end = listing.find('\n', pos);
    end = end == std::string_view::npos ? listing.size() : end + 1;
    const std::string_view line = listing.substr(pos, end - pos);
    pos = end;
    if (line[0] == ' ' || line[0] == '\t') {
      if (block == nullptr) return std::nullopt;
      block->append(line);
      continue;
    }
    const auto name = header_name(line);
    if (!name) return std::nullopt;
    const auto [it, added] = blocks.try_emplace(std::string(*name), line);
    if (!added) twice.emplace(*name);
    block = &it->second;
  }
  for (const auto& name : twice) blocks.erase(name);
  return blocks;
}

std::shared_ptr<Host> with_link_batch(std::shared_ptr<Host> inner) {
  return std::make_shared<LinkBatchHost>(std::move(inner));
}

}  // namespace grpaudit::platform
