#pragma once
// How the grpaudit process takes its memory, and how it leaves it.

#include <memory>

namespace grpaudit::cli {

// Lets the heap use transparent huge pages where the kernel offers them on
// request, and keeps what is freed for later allocations. Call once, first
// thing in main; does nothing under the address sanitizer, whose allocator
// manages its own memory, nor where the kernel charges address space in
// full (strict overcommit accounting).
void prefer_huge_pages();

// From now on, objects handed to leave_at_exit are never freed: the process
// ends right after its command, and the kernel takes its memory back in one
// go, where freeing the tables of a large switch node by node would take
// tens of milliseconds. Call once, in main, never where commands run in a
// process that goes on (until it is called, leave_at_exit frees as usual).
void free_nothing_at_exit();

namespace detail {
bool frees_at_exit();
// Keeps `p` reachable to the end of the process, so that a leak checker
// does not report it.
void keep_to_exit(const void* p);
}  // namespace detail

// Frees `object` now, or never (see free_nothing_at_exit). Nothing that must
// happen at its destruction may be left to its destructor.
template <typename T>
void leave_at_exit(std::unique_ptr<T> object) {
  if (detail::frees_at_exit()) return;
  detail::keep_to_exit(object.release());
}

}  // namespace grpaudit::cli
