#pragma once
// Error kinds of the system that the standard library does not name.
//
// The readers' own failures are std::runtime_error with fixed texts; bad
// numbers are std::invalid_argument, missing fields and keys std::out_of_range,
// operating-system failures std::system_error. The types below complete that set.

#include <exception>
#include <stdexcept>
#include <string>

namespace grpaudit {

// The SDK shell did not answer a command in time. Deliberately not a
// std::runtime_error: every reader converts it into one with its own text.
class ShellIoError : public std::exception {
 public:
  explicit ShellIoError(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// A snapshot file that cannot be read, is not JSON, or does not have the
// snapshot format. The message names the file and the place.
class SnapshotError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The command line was wrong (unknown option, malformed route key, no source).
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace grpaudit
