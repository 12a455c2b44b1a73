#include "grpaudit/kern/kernel.h"

#include <utility>

namespace grpaudit::kern {

Kernel::Kernel(std::shared_ptr<Host> host, const std::vector<std::string>& linux_ports,
               Caches caches, util::Warnings& warnings)
    : host_(std::move(host)), linux_ports_(linux_ports), caches_(caches), warnings_(warnings) {}

std::shared_ptr<const std::string> Kernel::cmd_output(const std::vector<std::string>& argv,
                                                      const std::string& fallback) const {
  SharedRunResult result = host_->run_shared(argv);
  if (result.status != 0) {
    warnings_.command_fell_back(argv, result.status, fallback);
    return std::make_shared<const std::string>(fallback);
  }
  return std::move(result.out);
}

}  // namespace grpaudit::kern
