#pragma once
// The kernel's links read in one process. The library asks for
// `/bin/ip -d link show DEV` once per device a route names, thousands of
// processes on a large switch; the kernel prints the same block for a device
// in the listing of all links. At the first such request the host below runs
// `/bin/ip -d link show` once and answers every request for a device the
// listing holds from its block, with status 0, as if the command had run.
// A device the listing does not hold, and every other command, is run for
// real, so its status and output are the real ones.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "grpaudit/platform/platform.h"

namespace grpaudit::platform {

// Blocks of `ip -d link show` by device name: a block starts at a line
// "<index>: <name>[@<link>]: " and takes the indented lines that follow.
// A name printed twice (as `a` and `a@b`) is dropped, and so is the whole
// listing (none) when a line is neither a header nor indented: the real
// command answers those.
std::optional<std::map<std::string, std::string, std::less<>>> split_link_listing(
    std::string_view listing);

std::shared_ptr<Host> with_link_batch(std::shared_ptr<Host> inner);

}  // namespace grpaudit::platform
