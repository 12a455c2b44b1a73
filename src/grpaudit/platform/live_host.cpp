#include "grpaudit/platform/live_host.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "grpaudit/platform/process.h"
#include "grpaudit/platform/snapshot.h"

namespace grpaudit::platform {
namespace {

[[noreturn]] void throw_errno(int err, const std::string& what) {
  throw std::system_error(err, std::generic_category(), what);
}

// stat() rather than lstat(): /sys presents devices and interfaces as links.
bool stat_mode(const std::string& path, mode_t& mode) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  mode = st.st_mode;
  return true;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

class LiveHost : public Host {
 public:
  explicit LiveHost(std::chrono::milliseconds timeout) : timeout_(timeout) {}

  // A command runs in a process group of its own, so that one that hangs is
  // killed whole when its time is up.
  RunResult run(const std::vector<std::string>& argv) override {
    ProcessResult result = run_process(argv, {timeout_, /*own_process_group=*/true});
    if (result.timed_out) {
      const auto ms = timeout_.count();
      throw std::system_error(
          ETIMEDOUT, std::generic_category(),
          host_command_key(argv) + " gave no answer within " +
              (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms"));
    }
    return RunResult{result.status, std::move(result.out)};
  }

  int run_shell(const std::string& cmdline) override { return run_shell_command(cmdline); }

  bool is_regular_file(const std::string& path) override {
    mode_t mode;
    return stat_mode(path, mode) && S_ISREG(mode);
  }

  bool is_directory(const std::string& path) override {
    mode_t mode;
    return stat_mode(path, mode) && S_ISDIR(mode);
  }

  // /proc and /sys files report size 0 (or a page) whatever they hold, so the
  // size is only a first guess and reading goes on until end of file.
  std::string read_file(const std::string& path) override {
    int fd;
    do {
      fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) throw_errno(errno, "cannot read " + path);
    struct Closer {
      int fd;
      ~Closer() { ::close(fd); }
    } closer{fd};

    std::size_t size = 4096;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
      size = static_cast<std::size_t>(st.st_size) + 1;  // +1: end of file shows without a regrow
    }
    std::string data(size, '\0');
    std::size_t used = 0;
    for (;;) {
      if (used == data.size()) data.resize(data.size() * 2);
      const ssize_t got = ::read(fd, data.data() + used, data.size() - used);
      if (got < 0) {
        if (errno == EINTR) continue;
        throw_errno(errno, "cannot read " + path);
      }
      if (got == 0) break;
      used += static_cast<std::size_t>(got);
    }
    data.resize(used);
    return data;
  }

  std::vector<std::string> list_dir(const std::string& path) override {
    std::unique_ptr<DIR, DirCloser> dir(::opendir(path.c_str()));
    if (!dir) throw_errno(errno, "cannot list " + path);
    std::vector<std::string> names;
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(dir.get());
      if (entry == nullptr) {
        if (errno != 0) throw_errno(errno, "cannot list " + path);
        break;
      }
      if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
      names.emplace_back(entry->d_name);
    }
    return names;
  }

 private:
  std::chrono::milliseconds timeout_;
};

}  // namespace

std::shared_ptr<Host> make_live_host(std::chrono::milliseconds command_timeout) {
  return std::make_shared<LiveHost>(command_timeout);
}

}  // namespace grpaudit::platform
