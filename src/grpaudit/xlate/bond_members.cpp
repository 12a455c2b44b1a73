// A kernel bond stands for its links; the ASIC replicates to the links.

#include <fmt/format.h>

#include "grpaudit/asic/asic.h"
#include "grpaudit/kern/kern_io.h"
#include "grpaudit/util/text.h"

namespace grpaudit {

std::vector<std::string> Asic::_expand_kern_bond(const std::string& dev) {
  std::vector<std::string> bondMembers;
  if (kern::kernel_cannot_name(dev)) return bondMembers;
  const std::string bondPath = fmt::format("/sys/class/net/{}", dev) + "/bonding/";
  if (!host()->is_directory(bondPath)) return bondMembers;
  // Not cached: every call reads the member file again.
  const std::string text = kern::read_optional_file(*host(), bondPath + "slaves");
  for (const auto line : util::split_lines(text)) {
    for (const auto word : util::split_ws(util::strip(line))) bondMembers.emplace_back(word);
  }
  return bondMembers;
}

}  // namespace grpaudit
