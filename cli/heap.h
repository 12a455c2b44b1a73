#pragma once
// How the grpaudit process takes its memory.

namespace grpaudit::cli {

// Lets the heap use transparent huge pages where the kernel offers them on
// request, and keeps what is freed for later allocations. Call once, first
// thing in main; does nothing under the address sanitizer, whose allocator
// manages its own memory, nor where the kernel charges address space in
// full (strict overcommit accounting).
void prefer_huge_pages();

}  // namespace grpaudit::cli
