// What the process does with the memory of a finished command.

#include "heap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace grpaudit::cli {
namespace {

struct Probe {
  explicit Probe(int& destroyed) : destroyed_(destroyed) {}
  ~Probe() { ++destroyed_; }
  int& destroyed_;
};

TEST(Heap, LeftObjectsAreFreedUnlessTheProcessEndsAfterTheCommand) {
  // Commands run in a process that goes on (as here) free what they leave.
  int destroyed = 0;
  leave_at_exit(std::make_unique<Probe>(destroyed));
  EXPECT_EQ(destroyed, 1);
  leave_at_exit(std::unique_ptr<Probe>());
  EXPECT_EQ(destroyed, 1);

  // A process that ends after its command keeps them to its end, where a
  // leak checker finds them still reachable (it would fail the exit).
  EXPECT_EXIT(
      {
        free_nothing_at_exit();
        int left = 0;
        for (int i = 0; i < 3; ++i) leave_at_exit(std::make_unique<Probe>(left));
        std::exit(left == 0 ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace grpaudit::cli
