#include "source.h"

#include <unistd.h>

#include <cstdlib>

#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/live_platform.h"
#include "grpaudit/platform/snapshot.h"

namespace grpaudit::cli {
namespace {

void from_env(std::string& value, const char* name) {
  if (!value.empty()) return;
  if (const char* v = std::getenv(name); v != nullptr) value = v;
}

std::string host_name() {
  char buf[256] = {};
  if (::gethostname(buf, sizeof buf - 1) != 0) return "an unnamed host";
  return buf;
}

}  // namespace

void apply_environment(SourceOptions& opts) {
  if (!opts.snapshot.empty()) return;
  from_env(opts.sdk_shell, "GRPAUDIT_SDK_SHELL");
  from_env(opts.port_table, "GRPAUDIT_PORT_TABLE");
  from_env(opts.vrf_map, "GRPAUDIT_VRF_MAP");
}

Source open_source(const SourceOptions& opts) {
  const bool live = !opts.sdk_shell.empty() || !opts.port_table.empty() || !opts.vrf_map.empty();
  Source source;
  if (!opts.snapshot.empty()) {
    if (live) {
      throw UsageError(
          "give either --snapshot FILE or the live switch (--sdk-shell, --port-table, "
          "--vrf-map), not both");
    }
    source.platform = platform::load_replay_platform(opts.snapshot);
  } else if (live) {
    if (opts.sdk_shell.empty()) {
      throw UsageError("the live switch needs --sdk-shell CMD (or GRPAUDIT_SDK_SHELL)");
    }
    if (opts.port_table.empty()) {
      throw UsageError("the live switch needs --port-table FILE (or GRPAUDIT_PORT_TABLE)");
    }
    source.platform = platform::make_live_platform({opts.sdk_shell, opts.port_table, opts.vrf_map});
  } else {
    throw UsageError(
        "no source given: use --snapshot FILE to replay a recorded switch, or --sdk-shell CMD "
        "and --port-table FILE (or GRPAUDIT_SDK_SHELL and GRPAUDIT_PORT_TABLE) to read the live "
        "switch");
  }
  if (!opts.record.empty()) {
    source.recorder =
        std::make_shared<platform::Recorder>("recorded by grpaudit on " + host_name());
    source.platform = source.recorder->wrap(std::move(source.platform));
  }
  if (!opts.trace.empty()) {
    source.platform = platform::with_trace(std::move(source.platform),
                                           std::make_shared<platform::TraceLog>(opts.trace));
  }
  return source;
}

void finish_recording(const Source& source, const SourceOptions& opts) {
  if (source.recorder) platform::save_snapshot(source.recorder->snapshot(), opts.record);
}

}  // namespace grpaudit::cli
