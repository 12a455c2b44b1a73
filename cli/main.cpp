#include <unistd.h>

#include <iostream>

#include "cli.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const grpaudit::cli::Terminal terminal{::isatty(STDOUT_FILENO) == 1,
                                         ::isatty(STDERR_FILENO) == 1};
  return grpaudit::cli::grpaudit_main(argc, argv, std::cout, std::cerr, terminal);
}
