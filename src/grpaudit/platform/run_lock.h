#pragma once
// One live run at a time per switch: two checks that read the SDK shell and
// switch the forwarding daemon's debug output at once would disturb each
// other. The lock is an advisory flock(2) on a file, which holds the PID of
// the run that has it; the kernel lets it go when that process ends,
// however it ends.

#include <chrono>
#include <string>

namespace grpaudit::platform {

inline constexpr const char* kDefaultLockFile = "/run/grpaudit.lock";

class RunLock {
 public:
  // Takes the lock on `path` (created when missing), waiting up to `wait`
  // for another run to let it go. Throws std::runtime_error naming the
  // holder's PID when it does not, std::system_error when the file cannot
  // be opened.
  RunLock(const std::string& path, std::chrono::milliseconds wait);
  ~RunLock();
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace grpaudit::platform
