#pragma once
// The grpaudit command line, callable in-process for tests.

#include <iosfwd>

namespace grpaudit::cli {

// Whether the standard streams are terminals: colour on standard output,
// progress on standard error.
struct Terminal {
  bool out = false;
  bool err = false;
};

// Runs the command with `argv` (argv[0] is the program name) and returns its
// exit status: 0 no fault, 1 faults found, 2 error.
int grpaudit_main(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                  Terminal terminal = {});

}  // namespace grpaudit::cli
