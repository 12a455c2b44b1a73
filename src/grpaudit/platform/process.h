#pragma once
// Running other programs: the commands the live host issues and, through a
// shell, whatever else the platform needs to start.

#include <sys/types.h>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
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

// A program kept running to be talked to: its standard input and output are
// this process's to write and read, its standard error is discarded. It
// leads a process group of its own, which is killed (after its input is
// closed) when the object goes, and when the process is interrupted.
class Session {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Read { kData, kEnd, kTimeOut };

  // Throws std::system_error when the program cannot be started.
  explicit Session(const std::vector<std::string>& argv);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Writes all of `text`; false when the program does not take it (it has
  // closed its input, or `deadline` passed).
  bool write(std::string_view text, Clock::time_point deadline);
  // Appends what the program writes next to `out`: kEnd when it has closed
  // its output, kTimeOut when `deadline` passes first.
  Read read_some(std::string& out, Clock::time_point deadline);
  // Whether output is waiting to be read right now.
  bool output_waiting();

 private:
  pid_t pid_ = -1;
  int in_ = -1;   // our end of the program's standard input
  int out_ = -1;  // the read end of its standard output
};

// Runs `cmdline` through /bin/sh -c with standard output and error
// discarded, waits for it and returns its status as run_process does.
int run_shell_command(const std::string& cmdline);

}  // namespace grpaudit::platform
