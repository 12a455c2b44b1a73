#pragma once
// How the command names the kind of an error that ended a run.

#include <exception>
#include <string>

namespace grpaudit::cli {

struct ErrorReport {
  std::string kind;  // runtime, shell-timeout, value, lookup, json, os, snapshot, usage
  std::string message;
};

// Classifies the exception in flight or stored in `error`.
ErrorReport classify(const std::exception_ptr& error);

}  // namespace grpaudit::cli
