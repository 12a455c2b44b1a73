#include <unistd.h>

#include <iostream>

#include "cli.h"
#include "grpaudit/platform/interrupt.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  // SIGINT and SIGTERM end the run at once, the program it waits for with it.
  grpaudit::platform::install_interrupt_handlers("grpaudit: interrupted\n");
  const grpaudit::cli::Terminal terminal{::isatty(STDOUT_FILENO) == 1,
                                         ::isatty(STDERR_FILENO) == 1};
  return grpaudit::cli::grpaudit_main(argc, argv, std::cout, std::cerr, terminal);
}
