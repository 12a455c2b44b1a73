// A program of grpaudit's users: built against an installed tree, it
// constructs an Asic on a snapshot and prints its route count.
#include <grpaudit/asic/asic.h>
#include <grpaudit/platform/snapshot.h>

#include <iostream>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const grpaudit::Asic asic(grpaudit::platform::load_replay_platform(argv[1]));
  std::cout << asic.mroutes.size() << " routes\n";
}
