#include "grpaudit/platform/live_platform.h"

#include <memory>
#include <utility>

#include "grpaudit/platform/config_files.h"
#include "grpaudit/platform/link_batch.h"
#include "grpaudit/platform/live_host.h"
#include "grpaudit/platform/sdk_session.h"
#include "grpaudit/platform/sdk_transport.h"

namespace grpaudit::platform {

Platform make_live_platform(const LiveOptions& opts) {
  // Parsed once to fail early; each factory call parses its own copy.
  (void)load_port_table(opts.port_table);
  (void)load_vrf_map(opts.vrf_map);

  Platform p;
  p.host = make_live_host(opts.command_timeout);
  if (opts.link_batch) p.host = with_link_batch(std::move(p.host));
  p.port_table = [path = opts.port_table] { return load_port_table(path); };
  p.vrf_db = [path = opts.vrf_map] { return load_vrf_map(path); };
  if (!opts.sdk_session.empty()) {
    const std::string prompt = opts.sdk_prompt.empty() ? kDefaultSdkPrompt : opts.sdk_prompt;
    (void)SdkPrompt(prompt);  // a bad pattern fails before anything runs
    p.sdk_shell = [cmd = opts.sdk_session, prompt](int timeout_seconds) {
      return make_sdk_session(cmd, prompt, sdk_timeout(timeout_seconds));
    };
  } else {
    p.sdk_shell = [cmd = opts.sdk_shell](int timeout_seconds) {
      return make_sdk_transport(cmd, sdk_timeout(timeout_seconds));
    };
  }
  return p;
}

}  // namespace grpaudit::platform
