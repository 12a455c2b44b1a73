#include "grpaudit/platform/replace_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace grpaudit::platform {

std::string follow_links(const std::string& path) {
  namespace fs = std::filesystem;
  fs::path p = path;
  // As many links as the kernel follows in one path.
  for (int links = 0; links < 40; ++links) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec))) return p.string();
    const fs::path target = fs::read_symlink(p, ec);
    if (ec) throw std::system_error(ec, "cannot follow " + p.string());
    p = target.is_absolute() ? target : p.parent_path() / target;
  }
  throw std::system_error(ELOOP, std::generic_category(), "cannot follow " + path);
}

void replace_file(const std::string& path, std::string_view text) {
  const std::string target = follow_links(path);
  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode))
    throw std::runtime_error("cannot write " + path + ": not a regular file");
  const mode_t mode = exists ? (st.st_mode & 07777) : 0644;

  std::vector<char> tmpl(target.begin(), target.end());
  const std::string suffix = ".tmp-XXXXXX";
  tmpl.insert(tmpl.end(), suffix.begin(), suffix.end());
  tmpl.push_back('\0');
  const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "cannot write " + path);
  const std::string tmp_path = tmpl.data();
  auto fail = [&](int err) {
    ::close(fd);
    ::unlink(tmp_path.c_str());
    throw std::system_error(err, std::generic_category(), "cannot write " + path);
  };
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) fail(errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(tmp_path.c_str());
    throw std::system_error(err, std::generic_category(), "cannot write " + path);
  }
  if (::rename(tmp_path.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp_path.c_str());
    throw std::system_error(err, std::generic_category(), "cannot write " + path);
  }
}

}  // namespace grpaudit::platform
