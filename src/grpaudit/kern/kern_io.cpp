#include "grpaudit/kern/kern_io.h"

#include <system_error>

#include "grpaudit/util/text.h"

namespace grpaudit::kern {

bool kernel_cannot_name(std::string_view dev) {
  return dev.find('/') != std::string_view::npos || dev == "." || dev == "..";
}

std::vector<std::string> command_argv(std::string_view cmdline) {
  std::vector<std::string> argv;
  for (const auto word : util::split_ws(cmdline)) argv.emplace_back(word);
  return argv;
}

std::string read_optional_file(Host& host, const std::string& path, util::Warnings& warnings) {
  try {
    return host.read_file(path);
  } catch (const std::system_error& e) {
    warnings.add(std::string(e.what()) + "; taken as empty");
    return {};
  }
}

}  // namespace grpaudit::kern
