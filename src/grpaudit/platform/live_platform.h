#pragma once
// The platform of the switch this process runs on.

#include <string>

#include "grpaudit/platform/live_host.h"
#include "grpaudit/platform/platform.h"

namespace grpaudit::platform {

struct LiveOptions {
  std::string sdk_shell;    // transport command line of the SDK shell, one run per command
  std::string sdk_session;  // or the command line of one session (sdk_session.h)
  std::string sdk_prompt;   // the session's prompt pattern; empty: kDefaultSdkPrompt
  std::string port_table;   // port table file
  std::string vrf_map;      // VRF map file; empty: only VRF 0, "default"
  std::chrono::milliseconds command_timeout = kCommandTimeout;  // of each Linux command
  bool link_batch = true;  // the kernel's links read in one process (link_batch.h)
};

// Reads and checks the port table and VRF map now, so a bad file fails
// before anything is asked of the switch.
Platform make_live_platform(const LiveOptions& opts);

}  // namespace grpaudit::platform
