#pragma once
// The Linux machine this process runs on.

#include <chrono>
#include <memory>

#include "grpaudit/platform/platform.h"

namespace grpaudit::platform {

// A command that has not finished within `command_timeout` is killed with its
// process group, and run() throws std::system_error (ETIMEDOUT) naming it and
// the time: where the library tolerates a command's failure, so is this.
inline constexpr std::chrono::seconds kCommandTimeout{60};
std::shared_ptr<Host> make_live_host(std::chrono::milliseconds command_timeout = kCommandTimeout);

}  // namespace grpaudit::platform
