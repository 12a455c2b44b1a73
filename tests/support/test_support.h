#pragma once
// Helpers shared by the tests: temporary directories and files, processes.

#include <sys/types.h>

#include <string>

namespace grpaudit::testing {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it
// when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // Writes `content` to `name` inside the directory and returns its path.
  std::string write(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

std::string read_file(const std::string& path);

// Whether process `pid` is gone, or a zombie that its new parent has still
// to reap, within two seconds.
bool gone_or_zombie(pid_t pid);

}  // namespace grpaudit::testing
