#include "grpaudit/util/warnings.h"

#include <utility>

#include <fmt/format.h>

namespace grpaudit::util {

void Warnings::add(std::string text) {
  if (!seen_.insert(text).second) return;
  texts_.push_back(std::move(text));
}

void Warnings::command_fell_back(const std::vector<std::string>& argv, int status,
                                 std::string_view fallback) {
  const std::string how = status < 0 ? fmt::format("was killed by signal {}", -status)
                                     : fmt::format("exited with status {}", status);
  const std::string taken = fallback.empty() ? "empty" : fmt::format("`{}`", fallback);
  add(fmt::format("`{}` {}; its output is taken as {}", fmt::join(argv, " "), how, taken));
}

}  // namespace grpaudit::util
