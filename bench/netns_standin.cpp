// Stand-ins for two commands inside the live benchmark's namespace, bound
// over /bin/ip and /usr/bin/cat. A namespace has no multicast routes without
// a routing daemon, and no forwarding daemon publishes next hops, so the
// route listing (GRPAUDIT_BENCH_MROUTES) and the daemon's next-hop file
// (GRPAUDIT_BENCH_NHI) come from files; every other command is the real
// program's (GRPAUDIT_BENCH_REAL_IP, GRPAUDIT_BENCH_REAL_CAT), which this
// program becomes by exec, so a run still costs one process.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

int print_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::cout << in.rdbuf();
  return in ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string name = argv[0];
  const bool ip = name.ends_with("ip");
  const std::vector<std::string> args(argv + 1, argv + argc);
  const char* routes = std::getenv("GRPAUDIT_BENCH_MROUTES");
  const char* nhi = std::getenv("GRPAUDIT_BENCH_NHI");
  if (ip && routes != nullptr &&
      args == std::vector<std::string>{"-j", "mroute", "show", "table", "all"}) {
    return print_file(routes);
  }
  if (!ip && nhi != nullptr &&
      args == std::vector<std::string>{"/quorvex/hwprogd/debug/mroute/info"}) {
    return print_file(nhi);
  }
  const char* real = std::getenv(ip ? "GRPAUDIT_BENCH_REAL_IP" : "GRPAUDIT_BENCH_REAL_CAT");
  if (real == nullptr) return 127;
  ::execv(real, argv);
  std::perror(real);
  return 127;
}
