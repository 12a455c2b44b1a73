#include <iostream>

#include "cli.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  return grpaudit::cli::grpaudit_main(argc, argv, std::cout, std::cerr);
}
