#pragma once
// The grpaudit command line, callable in-process for tests.

#include <iosfwd>

namespace grpaudit::cli {

// Runs the command with `argv` (argv[0] is the program name) and returns its
// exit status: 0 success, 1 faults found, 2 error.
int grpaudit_main(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace grpaudit::cli
