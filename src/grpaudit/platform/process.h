#pragma once
// Running other programs: the commands the live host issues and, through a
// shell, whatever else the platform needs to start.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace grpaudit::platform {

struct ProcessOptions {
  std::optional<std::chrono::milliseconds> timeout;  // none: wait forever
  bool own_process_group =
      false;  // child leads a new process group; on time-out the whole group is killed
};

struct ProcessResult {
  int status = 0;          // exit status; negative: killed by that signal
  std::string out;         // standard output, exactly as written
  bool timed_out = false;  // the child was killed because the time-out expired
};

// Starts argv[0] (searched in PATH when it holds no slash) with the other
// elements as arguments, without a shell. Standard input reads /dev/null,
// standard error goes to /dev/null, standard output is captured whole.
// Waits for the output to end and the child to exit, or for the time-out.
// Throws std::system_error when the program cannot be started.
ProcessResult run_process(const std::vector<std::string>& argv, const ProcessOptions& opts = {});

// Runs `cmdline` through /bin/sh -c with standard output and error
// discarded, waits for it and returns its status as run_process does.
int run_shell_command(const std::string& cmdline);

}  // namespace grpaudit::platform
