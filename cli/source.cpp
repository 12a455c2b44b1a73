#include "source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "grpaudit/platform/config_files.h"
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

// An output file (a recording, metrics) is written when the run is over:
// what would stop it from being written is found before the run begins.
void check_output_file(const std::string& option, const std::string& path) {
  std::string target;
  try {
    target = platform::follow_links(path);
  } catch (const std::system_error& e) {
    throw UsageError(option + " " + path + ": " + e.code().message());
  }
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) throw UsageError(option + " " + path + ": not a regular file");
    return;
  }
  const std::string dir = std::filesystem::path(target).parent_path().string();
  const std::string where = dir.empty() ? "." : dir;
  if (::stat(where.c_str(), &st) != 0) {
    throw UsageError(option + " " + path + ": cannot write in " + where + ": " +
                     std::strerror(errno));
  }
  if (!S_ISDIR(st.st_mode))
    throw UsageError(option + " " + path + ": " + where + " is not a directory");
}

namespace {

// Loads the file of `option` with `load`; its errors name the option.
template <typename Load>
void check_config_file(const char* option, const std::string& path, Load load) {
  try {
    (void)load(path);
  } catch (const std::system_error& e) {
    throw std::system_error(e.code(), std::string(option) + " " + path + ": cannot read");
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(std::string(option) + ": " + e.what());
  }
}

// This run, as a recording of it says who made it, where and when.
platform::Recording recording_of(const SourceOptions& opts) {
  platform::Recording r;
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  char stamp[32] = {};
  if (::gmtime_r(&now, &utc) != nullptr)
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
  r.time = stamp;
  r.program = std::string("grpaudit ") + GRPAUDIT_VERSION;
  r.host = host_name();
  r.options = opts.command_line;
  return r;
}

}  // namespace

void apply_environment(SourceOptions& opts) {
  if (!opts.snapshot.empty()) return;
  from_env(opts.sdk_shell, "GRPAUDIT_SDK_SHELL");
  from_env(opts.sdk_session, "GRPAUDIT_SDK_SESSION");
  from_env(opts.sdk_prompt, "GRPAUDIT_SDK_PROMPT");
  from_env(opts.port_table, "GRPAUDIT_PORT_TABLE");
  from_env(opts.vrf_map, "GRPAUDIT_VRF_MAP");
  from_env(opts.lock_file, "GRPAUDIT_LOCK_FILE");
}

Source open_source(const SourceOptions& opts) {
  if (!opts.record.empty()) check_output_file("--record", opts.record);
  std::shared_ptr<const platform::Snapshot> replayed;
  const bool live = !opts.sdk_shell.empty() || !opts.sdk_session.empty() ||
                    !opts.port_table.empty() || !opts.vrf_map.empty();
  Source source;
  if (!opts.snapshot.empty()) {
    if (live) {
      throw UsageError(
          "give either --snapshot FILE or the live switch (--sdk-shell or --sdk-session, "
          "--port-table, --vrf-map), not both");
    }
    // "-" is standard input, as for other tools.
    auto loaded = platform::load_replay(opts.snapshot == "-" ? "/dev/stdin" : opts.snapshot);
    source.platform = opts.round == 0 ? std::move(loaded.platform) : loaded.round(opts.round);
    replayed = std::move(loaded.snapshot);
  } else if (live) {
    if (opts.sdk_shell.empty() && opts.sdk_session.empty()) {
      throw UsageError(
          "the live switch needs --sdk-shell CMD or --sdk-session CMD (or GRPAUDIT_SDK_SHELL, "
          "GRPAUDIT_SDK_SESSION)");
    }
    if (!opts.sdk_shell.empty() && !opts.sdk_session.empty())
      throw UsageError("give either --sdk-shell CMD or --sdk-session CMD, not both");
    if (!opts.sdk_prompt.empty() && opts.sdk_session.empty())
      throw UsageError("--sdk-prompt is the prompt of --sdk-session");
    if (opts.port_table.empty()) {
      throw UsageError("the live switch needs --port-table FILE (or GRPAUDIT_PORT_TABLE)");
    }
    // The files read first, so that what is wrong with them names its option.
    check_config_file("--port-table", opts.port_table, platform::load_port_table);
    if (!opts.vrf_map.empty()) check_config_file("--vrf-map", opts.vrf_map, platform::load_vrf_map);
    try {
      source.platform = platform::make_live_platform({
          .sdk_shell = opts.sdk_shell,
          .sdk_session = opts.sdk_session,
          .sdk_prompt = opts.sdk_prompt,
          .port_table = opts.port_table,
          .vrf_map = opts.vrf_map,
          .command_timeout = std::chrono::seconds(opts.command_timeout),
          .link_batch = opts.link_batch,
      });
    } catch (const std::invalid_argument& e) {
      throw UsageError(std::string("--sdk-prompt: ") + e.what());
    }
    // Taken once the options are known good, before the switch is asked
    // anything.
    if (opts.take_lock)
      source.lock = std::make_shared<platform::RunLock>(
          opts.lock_file.empty() ? platform::kDefaultLockFile : opts.lock_file,
          std::chrono::seconds(opts.lock_wait));
  } else {
    throw UsageError(
        "no source given: use --snapshot FILE to replay a recorded switch, or --sdk-shell CMD "
        "and --port-table FILE (or GRPAUDIT_SDK_SHELL and GRPAUDIT_PORT_TABLE) to read the live "
        "switch");
  }
  if (!opts.record.empty()) {
    // A recording of a replay is a part of the snapshot replayed: it keeps
    // where, when and by whom that one was made.
    source.recorder =
        replayed ? std::make_shared<platform::Recorder>(replayed->description, replayed->recorded)
                 : std::make_shared<platform::Recorder>("recorded by grpaudit on " + host_name(),
                                                        recording_of(opts));
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
