#pragma once
// Where a run reads the switch from: a snapshot, or the live switch; and
// what is kept of the run: a trace, a recording.

#include <memory>
#include <string>
#include <vector>

#include "grpaudit/platform/platform.h"
#include "grpaudit/platform/recorder.h"
#include "grpaudit/platform/run_lock.h"
#include "grpaudit/platform/trace.h"

namespace grpaudit::cli {

struct SourceOptions {
  std::string snapshot;                   // --snapshot FILE
  std::string sdk_shell;                  // --sdk-shell CMD (or GRPAUDIT_SDK_SHELL)
  std::string sdk_session;                // --sdk-session CMD (or GRPAUDIT_SDK_SESSION)
  std::string sdk_prompt;                 // --sdk-prompt REGEX (or GRPAUDIT_SDK_PROMPT)
  std::string port_table;                 // --port-table FILE (or GRPAUDIT_PORT_TABLE)
  std::string vrf_map;                    // --vrf-map FILE (or GRPAUDIT_VRF_MAP)
  std::string trace;                      // --trace FILE
  std::string record;                     // --record FILE
  int command_timeout = 60;               // --command-timeout SECONDS, of each Linux command
  bool link_batch = true;                 // not --no-link-batch
  std::string lock_file;                  // --lock-file FILE (or GRPAUDIT_LOCK_FILE)
  int lock_wait = 0;                      // --lock-wait SECONDS
  std::vector<std::string> command_line;  // the run's arguments, kept in a recording
  std::size_t round = 0;                  // which read of a snapshot's rounds to replay
  bool take_lock = true;                  // false: a lock of this run is held already
};

struct Source {
  Platform platform;
  std::shared_ptr<platform::Recorder> recorder;  // set with --record
  std::shared_ptr<platform::RunLock> lock;       // held by a live run
};

// Fills the live options that were not given from the environment, unless a
// snapshot was asked for.
void apply_environment(SourceOptions& opts);

// Throws UsageError when no source, or two, are given; SnapshotError for a
// bad snapshot; std::system_error when the trace file cannot be written.
Source open_source(const SourceOptions& opts);

// Refuses (UsageError naming `option`) an output file that could not be
// written when the run is over: a directory that does not exist, something
// other than a regular file.
void check_output_file(const std::string& option, const std::string& path);

// Writes the recording of a completed run, when one was asked for.
void finish_recording(const Source& source, const SourceOptions& opts);

}  // namespace grpaudit::cli
