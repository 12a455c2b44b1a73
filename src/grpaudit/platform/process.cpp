#include "grpaudit/platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>
#include <thread>
#include <utility>

#include "grpaudit/platform/interrupt.h"

extern char** environ;

namespace grpaudit::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Pipe reads grow the output by doubling, starting here; with the enlarged
// pipe buffer this keeps tens of MB to a few hundred system calls.
constexpr std::size_t kFirstChunk = 64 * 1024;
constexpr int kPipeSize = 1024 * 1024;

[[noreturn]] void throw_errno(int err, const std::string& what) {
  throw std::system_error(err, std::generic_category(), what);
}

void check(int rc, const char* what) {
  if (rc != 0) throw_errno(rc, what);
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { reset(); }

  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }
  // Linux releases the descriptor even when close() is interrupted, so no retry.
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

int open_dev_null(int flags) {
  int fd;
  do {
    fd = ::open("/dev/null", flags | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) throw_errno(errno, "cannot open /dev/null");
  return fd;
}

int decode_status(int st) {
  if (WIFEXITED(st)) return WEXITSTATUS(st);
  if (WIFSIGNALED(st)) return -WTERMSIG(st);
  return -1;
}

// A started child that must be reaped. Whatever way the caller leaves, the
// destructor kills and reaps a child nobody waited for, so no zombie and no
// runaway process survives an exception.
class Child {
 public:
  // Started with SIGINT and SIGTERM blocked (see Spawning): registered
  // before an interruption can look for it.
  Child(pid_t pid, bool group) : pid_(pid), group_(group) { set_waited_child(pid, group); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (pid_ <= 0) return;
    kill();
    int st;
    while (::waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
    }
    set_waited_child(0, false);
  }

  // The group id stays valid until the leader is reaped, so killing it by
  // id cannot hit an unrelated group.
  void kill() { ::kill(group_ ? -pid_ : pid_, SIGKILL); }

  int wait() {
    int st;
    pid_t r;
    do {
      r = ::waitpid(pid_, &st, 0);
    } while (r < 0 && errno == EINTR);
    const int err = errno;
    pid_ = -1;
    set_waited_child(0, false);
    if (r < 0) throw_errno(err, "cannot wait for child process");
    return decode_status(st);
  }

  // The status once the child has exited; nothing when the deadline passes first.
  std::optional<int> wait_until(Clock::time_point deadline) {
    // A child that has closed its output is about to exit, as a rule: look
    // again soon, then less and less often.
    Clock::duration pause = std::chrono::microseconds(20);
    for (;;) {
      int st;
      pid_t r;
      do {
        r = ::waitpid(pid_, &st, WNOHANG);
      } while (r < 0 && errno == EINTR);
      if (r < 0) {
        const int err = errno;
        pid_ = -1;
        set_waited_child(0, false);
        throw_errno(err, "cannot wait for child process");
      }
      if (r == pid_) {
        pid_ = -1;
        set_waited_child(0, false);
        return decode_status(st);
      }
      const auto now = Clock::now();
      if (now >= deadline) return std::nullopt;
      std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
      pause = std::min<Clock::duration>(pause * 2, std::chrono::milliseconds(50));
    }
  }

 private:
  pid_t pid_;
  bool group_;
};

struct FileActions {
  posix_spawn_file_actions_t actions;
  FileActions() { check(posix_spawn_file_actions_init(&actions), "cannot prepare child process"); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
};

struct SpawnAttr {
  posix_spawnattr_t attr;
  SpawnAttr() { check(posix_spawnattr_init(&attr), "cannot prepare child process"); }
  ~SpawnAttr() { posix_spawnattr_destroy(&attr); }
  SpawnAttr(const SpawnAttr&) = delete;
  SpawnAttr& operator=(const SpawnAttr&) = delete;
};

// Starts argv with the given descriptors as its standard input, output and
// error. The child gets no other descriptor, not even those that whoever
// started us left open without close-on-exec.
pid_t spawn(const std::vector<std::string>& argv, int in, int out, int err, bool own_group) {
  std::vector<char*> cargv;
  cargv.reserve(argv.size() + 1);
  for (const auto& arg : argv) cargv.push_back(const_cast<char*>(arg.c_str()));
  cargv.push_back(nullptr);

  FileActions fa;
  check(posix_spawn_file_actions_adddup2(&fa.actions, in, STDIN_FILENO), "cannot prepare child");
  check(posix_spawn_file_actions_adddup2(&fa.actions, out, STDOUT_FILENO), "cannot prepare child");
  check(posix_spawn_file_actions_adddup2(&fa.actions, err, STDERR_FILENO), "cannot prepare child");
  check(posix_spawn_file_actions_addclosefrom_np(&fa.actions, STDERR_FILENO + 1),
        "cannot prepare child");

  // The child starts with no blocked signals and default SIGPIPE, whatever
  // this process did to its own, so it behaves as when started from a shell.
  SpawnAttr sa;
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  sigset_t none;
  sigemptyset(&none);
  check(posix_spawnattr_setsigmask(&sa.attr, &none), "cannot prepare child");
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGXFSZ);
  check(posix_spawnattr_setsigdefault(&sa.attr, &defaults), "cannot prepare child");
  if (own_group) {
    flags |= POSIX_SPAWN_SETPGROUP;
    check(posix_spawnattr_setpgroup(&sa.attr, 0), "cannot prepare child");
  }
  check(posix_spawnattr_setflags(&sa.attr, flags), "cannot prepare child");

  pid_t pid;
  const int rc = posix_spawnp(&pid, cargv[0], &fa.actions, &sa.attr, cargv.data(), environ);
  if (rc != 0) throw_errno(rc, "cannot run " + argv[0]);
  return pid;
}

// SIGINT and SIGTERM held back from the start of a child until it is
// registered as the one waited for, so that an interruption never misses it.
class Spawning {
 public:
  Spawning() {
    sigset_t interrupts;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &interrupts, &old_);
  }
  ~Spawning() { ::sigprocmask(SIG_SETMASK, &old_, nullptr); }
  Spawning(const Spawning&) = delete;
  Spawning& operator=(const Spawning&) = delete;

 private:
  sigset_t old_;
};

// Appends everything readable from `fd` to `out` until end of file; false
// when `deadline` passes first (`out` then holds what was read so far).
bool read_to_end(int fd, std::string& out, std::optional<Clock::time_point> deadline) {
  std::size_t used = out.size();
  for (;;) {
    int wait_ms = -1;
    if (deadline) {
      const auto left = *deadline - Clock::now();
      if (left <= Clock::duration::zero()) {
        out.resize(used);
        return false;
      }
      const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
      wait_ms = static_cast<int>(std::min<decltype(ms)>(ms, INT_MAX));
    }
    pollfd pfd{fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, wait_ms);
    if (ready < 0) {
      if (errno == EINTR) continue;
      throw_errno(errno, "cannot wait for child output");
    }
    if (ready == 0) continue;  // the deadline check above ends the loop

    if (used == out.size()) out.resize(std::max(kFirstChunk, out.size() * 2));
    const ssize_t got = ::read(fd, out.data() + used, out.size() - used);
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      throw_errno(errno, "cannot read child output");
    }
    if (got == 0) {
      out.resize(used);
      return true;
    }
    used += static_cast<std::size_t>(got);
  }
}

}  // namespace

ProcessResult run_process(const std::vector<std::string>& argv, const ProcessOptions& opts) {
  if (argv.empty()) {
    throw std::system_error(std::make_error_code(std::errc::invalid_argument),
                            "cannot run an empty command");
  }
  std::optional<Clock::time_point> deadline;
  if (opts.timeout) deadline = Clock::now() + *opts.timeout;

  Fd null_in(open_dev_null(O_RDONLY));
  Fd null_out(open_dev_null(O_WRONLY));
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) < 0) throw_errno(errno, "cannot create pipe");
  Fd pipe_read(ends[0]);
  Fd pipe_write(ends[1]);
  ::fcntl(pipe_read.get(), F_SETPIPE_SZ, kPipeSize);  // only a speed-up; the default works too

  std::optional<Spawning> spawning(std::in_place);
  Child child(spawn(argv, null_in.get(), pipe_write.get(), null_out.get(), opts.own_process_group),
              opts.own_process_group);
  spawning.reset();
  // Our copy of the write end must go, or the pipe never reports end of file.
  pipe_write.reset();
  null_in.reset();
  null_out.reset();

  ProcessResult result;
  if (read_to_end(pipe_read.get(), result.out, deadline)) {
    pipe_read.reset();
    if (!deadline) {
      result.status = child.wait();
      return result;
    }
    // The child may close its output and still run on.
    if (auto status = child.wait_until(*deadline)) {
      result.status = *status;
      return result;
    }
  }
  child.kill();
  result.status = child.wait();
  result.timed_out = true;
  return result;
}

namespace {

// Milliseconds for poll() until `deadline`, at least 0.
int poll_ms(Session::Clock::time_point deadline) {
  const auto left = deadline - Session::Clock::now();
  if (left <= Session::Clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<decltype(ms)>(ms, INT_MAX));
}

void set_nonblocking(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

}  // namespace

Session::Session(const std::vector<std::string>& argv) {
  if (argv.empty()) {
    throw std::system_error(std::make_error_code(std::errc::invalid_argument),
                            "cannot run an empty command");
  }
  // The input is a socket: a write to a program that has gone then fails
  // with EPIPE instead of raising SIGPIPE in this process.
  int in_pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in_pair) < 0)
    throw_errno(errno, "cannot create socket pair");
  Fd ours_in(in_pair[0]);
  Fd child_in(in_pair[1]);
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) < 0) throw_errno(errno, "cannot create pipe");
  Fd pipe_read(ends[0]);
  Fd pipe_write(ends[1]);
  Fd null_err(open_dev_null(O_WRONLY));
  {
    const Spawning spawning;
    pid_ = spawn(argv, child_in.get(), pipe_write.get(), null_err.get(), /*own_group=*/true);
    set_session_child(pid_);
  }
  set_nonblocking(ours_in.get());
  set_nonblocking(pipe_read.get());
  in_ = ours_in.release();
  out_ = pipe_read.release();
}

Session::~Session() {
  if (in_ >= 0) ::close(in_);
  if (out_ >= 0) ::close(out_);
  // The group id stays valid until the leader is reaped.
  ::kill(-pid_, SIGKILL);
  int st;
  while (::waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
  }
  set_session_child(0);
}

bool Session::write(std::string_view text, Clock::time_point deadline) {
  while (!text.empty()) {
    const ssize_t n = ::send(in_, text.data(), text.size(), MSG_NOSIGNAL);
    if (n > 0) {
      text.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return false;
    pollfd pfd{in_, POLLOUT, 0};
    const int ready = ::poll(&pfd, 1, poll_ms(deadline));
    if (ready == 0) return false;
    if (ready < 0 && errno != EINTR) throw_errno(errno, "cannot wait for a session's input");
  }
  return true;
}

Session::Read Session::read_some(std::string& out, Clock::time_point deadline) {
  // An answer is awaited, as a rule: wait first, then read.
  for (;;) {
    pollfd pfd{out_, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, poll_ms(deadline));
    if (ready == 0) return Read::kTimeOut;
    if (ready < 0) {
      if (errno == EINTR) continue;
      throw_errno(errno, "cannot wait for a session's output");
    }
    char chunk[65536];
    const ssize_t got = ::read(out_, chunk, sizeof chunk);
    if (got > 0) {
      out.append(chunk, static_cast<std::size_t>(got));
      return Read::kData;
    }
    if (got == 0) return Read::kEnd;
    if (errno != EINTR && errno != EAGAIN) throw_errno(errno, "cannot read a session's output");
  }
}

bool Session::output_waiting() {
  pollfd pfd{out_, POLLIN, 0};
  return ::poll(&pfd, 1, 0) > 0;
}

int run_shell_command(const std::string& cmdline) {
  const std::vector<std::string> argv{"/bin/sh", "-c", cmdline};
  Fd null_in(open_dev_null(O_RDONLY));
  Fd null_out(open_dev_null(O_WRONLY));
  std::optional<Spawning> spawning(std::in_place);
  Child child(spawn(argv, null_in.get(), null_out.get(), null_out.get(), false), false);
  spawning.reset();
  null_in.reset();
  null_out.reset();
  return child.wait();
}

}  // namespace grpaudit::platform
