// Colour and progress appear only on terminals, or as asked.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"
#include "progress.h"
#include "support/cli_run.h"

namespace grpaudit::cli {
namespace {

struct Outputs {
  int status;
  std::string out, err;
};

Outputs check_leaf(Terminal terminal, std::vector<std::string> options = {}) {
  const std::string snapshot = testing::source_path("examples/leaf-riot.json");
  std::vector<const char*> argv = {"grpaudit", "check", "--snapshot", snapshot.c_str()};
  for (const auto& option : options) argv.push_back(option.c_str());
  std::ostringstream out, err;
  const int status = grpaudit_main(static_cast<int>(argv.size()), argv.data(), out, err, terminal);
  return {status, out.str(), err.str()};
}

// The environment of one test, put back after it.
class Env {
 public:
  // `value` null: unset.
  Env(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~Env() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Terminals as the tests expect them, whatever the environment they run in.
class TerminalOutput : public ::testing::Test {
 protected:
  Env term_{"TERM", "xterm"};
  Env no_color_{"NO_COLOR", nullptr};
};

TEST_F(TerminalOutput, ColourAndProgressOnlyWhereTheStreamIsATerminal) {
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

TEST_F(TerminalOutput, ColourAsAskedAndQuietMeansNothing) {
  const auto coloured = [](const Outputs& o) { return o.out.find('\033') != std::string::npos; };
  EXPECT_TRUE(coloured(check_leaf({}, {"--color=always"})));
  EXPECT_FALSE(coloured(check_leaf({true, true}, {"--color=never"})));
  {
    const Env no_color("NO_COLOR", "1");
    EXPECT_FALSE(coloured(check_leaf({true, true})));
    EXPECT_TRUE(coloured(check_leaf({true, true}, {"--color", "always"})));
  }
  {
    const Env dumb("TERM", "dumb");
    EXPECT_FALSE(coloured(check_leaf({true, true})));
  }
  const Outputs quiet = check_leaf({true, true}, {"--quiet"});
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err, "");
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
