#include "heap.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace grpaudit::cli {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// The reserve: address space only, nothing is resident until touched. A
// large switch four times the default parses a snapshot of 150 MB, for which
// simdjson reserves (without touching) a dozen times that.
constexpr std::size_t kBlock = std::size_t{32} << 20;
constexpr int kBlocks = 128;

bool configured = false;
bool frees = true;

// The reserve is address space only where the kernel overcommits (modes 0
// and 1). Under strict accounting (mode 2) it would be charged in full and
// could starve the switch's own daemons of memory while grpaudit runs, so
// then, or when the mode cannot be read, the heap is left as it is.
bool reserve_is_free() {
  std::FILE* f = std::fopen("/proc/sys/vm/overcommit_memory", "re");
  if (f == nullptr) return false;
  int mode = -1;
  const bool read = std::fscanf(f, "%d", &mode) == 1;
  std::fclose(f);
  return read && (mode == 0 || mode == 1);
}

void advise_huge(void* p, std::size_t size) {
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(p) + page - 1) & ~(page - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(p) + size) & ~(page - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace

// A check of a large switch reads tens of megabytes and builds as much, and
// on a virtual machine the first touch of each 4 KiB page costs more than the
// work done on it. So every allocation comes from the heap (no mapping of its
// own), and the heap is grown once over a wide range advised to use huge
// pages: a fault then brings in 2 MiB. The kernel falls back to small pages
// where it has no huge ones; results are the same either way.
void prefer_huge_pages() {
  if (kSanitized || configured || !reserve_is_free()) return;
  if (::mallopt(M_MMAP_MAX, 0) != 1 || ::mallopt(M_TRIM_THRESHOLD, INT_MAX) != 1) return;
  configured = true;
  void* blocks[kBlocks];
  int n = 0;
  for (; n < kBlocks; ++n) {
    blocks[n] = std::malloc(kBlock);
    if (blocks[n] == nullptr) break;
    advise_huge(blocks[n], kBlock);
  }
  // The last block is never freed (nor touched): the reserve below it is then
  // a free block inside the heap, which malloc never gives back, rather than
  // the top of the heap, which it would.
  if (n > 0) --n;
  while (n > 0) std::free(blocks[--n]);
}

void free_nothing_at_exit() {
  frees = false;
}

namespace detail {

bool frees_at_exit() {
  return frees;
}

void keep_to_exit(const void* p) {
  // Never destroyed, so reachable to the end.
  static auto* const kept = new std::vector<const void*>;
  kept->push_back(p);
}

}  // namespace detail

}  // namespace grpaudit::cli
