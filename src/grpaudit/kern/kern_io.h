#pragma once
// Helpers shared by the kernel readers and the bond expansion.

#include <string>
#include <string_view>
#include <vector>

#include "grpaudit/platform/platform.h"
#include "grpaudit/util/warnings.h"

namespace grpaudit::kern {

// A name that no kernel net device can have: it would leave /sys/class/net
// once put into a path, so nothing is run, read or listed for it and the
// device counts as one the kernel does not know.
bool kernel_cannot_name(std::string_view dev);

// The argument list of a command line: its words at runs of white space.
std::vector<std::string> command_argv(std::string_view cmdline);

// A kernel file that exists: one that cannot be read all the same counts as
// empty, with a warning.
std::string read_optional_file(Host& host, const std::string& path, util::Warnings& warnings);

}  // namespace grpaudit::kern
