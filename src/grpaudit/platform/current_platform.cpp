#include "grpaudit/platform/platform.h"

#include "grpaudit/platform/live_host.h"

namespace grpaudit {
namespace {

Platform& current() {
  static Platform platform{nullptr, nullptr, nullptr, platform::make_live_host()};
  return platform;
}

}  // namespace

const Platform& current_platform() {
  return current();
}

void set_current_platform(Platform platform) {
  current() = std::move(platform);
}

}  // namespace grpaudit
