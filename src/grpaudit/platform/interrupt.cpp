#include "grpaudit/platform/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

namespace grpaudit::platform {
namespace {

// Read by the handler: only lock-free atomics and plain constants.
volatile sig_atomic_t waited_pid = 0;
volatile sig_atomic_t waited_group = 0;
volatile sig_atomic_t session_pid = 0;
const char* interrupt_message = "interrupted\n";

extern "C" void on_interrupt(int sig) {
  // Only async-signal-safe calls from here on.
  const pid_t pid = waited_pid;
  if (pid > 0) ::kill(waited_group != 0 ? -pid : pid, SIGKILL);
  const pid_t session = session_pid;
  if (session > 0) ::kill(-session, SIGKILL);
  const ssize_t ignored = ::write(STDERR_FILENO, interrupt_message, std::strlen(interrupt_message));
  (void)ignored;
  ::_exit(128 + sig);
}

}  // namespace

void install_interrupt_handlers(const char* message) {
  interrupt_message = message;
  struct sigaction sa {};
  sa.sa_handler = on_interrupt;
  sigemptyset(&sa.sa_mask);
  sigaddset(&sa.sa_mask, SIGINT);
  sigaddset(&sa.sa_mask, SIGTERM);
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
}

void set_waited_child(pid_t pid, bool group) {
  waited_pid = 0;
  waited_group = group ? 1 : 0;
  waited_pid = pid;
}

void set_session_child(pid_t pid) {
  session_pid = pid;
}

}  // namespace grpaudit::platform
