#pragma once
// Writing a file whole or not at all: what a reader polling it (a metrics
// collector) or a run that fails half-way must never see is half a file.

#include <string>
#include <string_view>

namespace grpaudit::platform {

// Writes `text` to `path` through a temporary file beside the file it
// replaces and a rename, so that the file is whole or untouched. A link is
// followed: the file it names is replaced. An existing file keeps its mode; a
// new one is made 0644. Throws std::system_error when it cannot write, and
// std::runtime_error when `path` names something other than a regular file.
void replace_file(const std::string& path, std::string_view text);

// `path` with every symbolic link followed, as far as the links exist.
// Throws std::system_error for a link that cannot be read or a loop.
std::string follow_links(const std::string& path);

}  // namespace grpaudit::platform
