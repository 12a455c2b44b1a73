#include "grpaudit/platform/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

namespace grpaudit::platform {
namespace {

// The PID the holder wrote, as text; "unknown" when it has written none yet.
std::string holder(int fd) {
  char buf[32] = {};
  const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
  std::string pid(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
  while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' ')) pid.pop_back();
  return pid.empty() ? "unknown" : pid;
}

}  // namespace

RunLock::RunLock(const std::string& path, std::chrono::milliseconds wait) {
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0)
    throw std::system_error(errno, std::generic_category(), "cannot open the lock " + path);
  const auto until = std::chrono::steady_clock::now() + wait;
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    if (err == EINTR) continue;
    if (err != EWOULDBLOCK) {
      ::close(fd_);
      throw std::system_error(err, std::generic_category(), "cannot lock " + path);
    }
    if (std::chrono::steady_clock::now() >= until) {
      const std::string pid = holder(fd_);
      ::close(fd_);
      throw std::runtime_error("another grpaudit run holds the lock " + path + " (PID " + pid +
                               "); one live run at a time (--lock-wait SECONDS waits for it)");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd_, 0) == 0) {
    const ssize_t ignored = ::pwrite(fd_, pid.data(), pid.size(), 0);
    (void)ignored;  // the PID is a courtesy to the next run; the lock holds without it
  }
}

RunLock::~RunLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace grpaudit::platform
