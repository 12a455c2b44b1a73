#pragma once
// Ending a run on SIGINT or SIGTERM without leaving anything behind: the
// program being waited for is killed (with its process group when it leads
// one, as the SDK transport does), a line goes to standard error and the
// process exits with 128 + the signal's number.

#include <sys/types.h>

namespace grpaudit::platform {

// Installs the handlers; `message` (a whole line, kept by the caller for the
// life of the process) is what is written on standard error.
void install_interrupt_handlers(const char* message);

// The child being waited for, which an interruption kills; 0 when none.
// run_process keeps it up to date.
void set_waited_child(pid_t pid, bool group);

// A child kept running between commands (an SDK shell session), the leader
// of its own process group, which an interruption kills too; 0 when none.
void set_session_child(pid_t pid);

}  // namespace grpaudit::platform
