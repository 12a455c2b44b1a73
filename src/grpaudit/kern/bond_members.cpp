// A kernel bond stands for its links; the ASIC replicates to the links.

#include "grpaudit/kern/kern_io.h"
#include "grpaudit/kern/kernel.h"
#include "grpaudit/kern/listings.h"

namespace grpaudit::kern {

std::vector<std::string> Kernel::expand_bond(const std::string& dev) {
  std::vector<std::string> bondMembers;
  if (kern::kernel_cannot_name(dev)) return bondMembers;
  // Asked for every port VLAN of a bond, so built without the formatter.
  std::string bondPath;
  bondPath.reserve(sizeof "/sys/class/net/" + dev.size() + sizeof "/bonding/slaves");
  bondPath.append("/sys/class/net/").append(dev).append("/bonding/");
  if (!host_->is_directory(bondPath)) return bondMembers;
  // Not cached: every call reads the member file again.
  return bond_slaves(read_optional_file(*host_, bondPath.append("slaves"), warnings_));
}

}  // namespace grpaudit::kern
