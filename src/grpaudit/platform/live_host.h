#pragma once
// The Linux machine this process runs on.

#include <memory>

#include "grpaudit/platform/platform.h"

namespace grpaudit::platform {

std::shared_ptr<Host> make_live_host();

}  // namespace grpaudit::platform
