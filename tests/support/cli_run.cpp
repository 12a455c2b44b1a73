#include "support/cli_run.h"

#include <sstream>

#include "cli.h"

namespace grpaudit::testing {

CliRun run_cli(std::vector<std::string> args) {
  args.insert(args.begin(), "grpaudit");
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  const int status = cli::grpaudit_main(static_cast<int>(argv.size()), argv.data(), out, err);
  return {status, out.str(), err.str()};
}

std::string source_path(const std::string& relative) {
  return std::string(GRPAUDIT_SOURCE_DIR) + "/" + relative;
}

}  // namespace grpaudit::testing
