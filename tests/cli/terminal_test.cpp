// Colour and progress appear only on terminals.

#include <gtest/gtest.h>

#include <sstream>

#include "cli.h"
#include "progress.h"
#include "support/cli_run.h"

namespace grpaudit::cli {
namespace {

struct Outputs {
  int status;
  std::string out, err;
};

Outputs check_leaf(Terminal terminal) {
  const std::string snapshot = testing::source_path("examples/leaf-riot.json");
  const char* argv[] = {"grpaudit", "check", "--snapshot", snapshot.c_str()};
  std::ostringstream out, err;
  const int status = grpaudit_main(4, argv, out, err, terminal);
  return {status, out.str(), err.str()};
}

TEST(Terminal, ColourAndProgressOnlyWhereTheStreamIsATerminal) {
  const Outputs plain = check_leaf({});
  EXPECT_EQ(plain.out.find('\033'), std::string::npos);
  EXPECT_EQ(plain.err, "");

  const Outputs tty = check_leaf({true, true});
  EXPECT_EQ(tty.status, plain.status);
  EXPECT_NE(tty.out.find("\033[31mmismatch\033[0m"), std::string::npos);
  EXPECT_NE(tty.err.find("reading the ASIC"), std::string::npos);
  // Progress leaves a clean line behind.
  EXPECT_EQ(tty.err.substr(tty.err.size() - 4), "\r\033[K");
}

TEST(Terminal, ProgressCountsSparselyAndAlwaysShowsTheEnd) {
  std::ostringstream err;
  {
    Progress p(err, true);
    for (std::size_t i = 1; i <= 100; ++i) p.count("comparing routes", i, 100);
  }
  EXPECT_NE(err.str().find("comparing routes 100/100"), std::string::npos);
  EXPECT_EQ(err.str().find("comparing routes 2/100"), std::string::npos);
  std::ostringstream quiet;
  {
    Progress p(quiet, false);
    p.show("x");
    p.count("y", 1, 1);
  }
  EXPECT_EQ(quiet.str(), "");
}

}  // namespace
}  // namespace grpaudit::cli
