#pragma once
// Running the grpaudit command in-process.

#include <string>
#include <vector>

namespace grpaudit::testing {

struct CliRun {
  int status;
  std::string out, err;
};

// `args` without the program name.
CliRun run_cli(std::vector<std::string> args);

// The path of a file under the source tree.
std::string source_path(const std::string& relative);

}  // namespace grpaudit::testing
