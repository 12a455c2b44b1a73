// A kernel bond stands for its links; the ASIC replicates to the links.

#include "grpaudit/asic/asic.h"
#include "grpaudit/kern/kern_io.h"
#include "grpaudit/util/text.h"

namespace grpaudit {

std::vector<std::string> Asic::_expand_kern_bond(const std::string& dev) {
  std::vector<std::string> bondMembers;
  if (kern::kernel_cannot_name(dev)) return bondMembers;
  // Asked for every port VLAN of a bond, so built without the formatter.
  std::string bondPath;
  bondPath.reserve(sizeof "/sys/class/net/" + dev.size() + sizeof "/bonding/slaves");
  bondPath.append("/sys/class/net/").append(dev).append("/bonding/");
  if (!host()->is_directory(bondPath)) return bondMembers;
  // Not cached: every call reads the member file again.
  const std::string text = kern::read_optional_file(*host(), bondPath.append("slaves"));
  for (const auto line : util::split_lines(text)) {
    for (const auto word : util::split_ws(util::strip(line))) bondMembers.emplace_back(word);
  }
  return bondMembers;
}

}  // namespace grpaudit
