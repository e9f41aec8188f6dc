// Output that appears whole or not at all: written to a temporary file beside the target,
// flushed, and renamed over it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace patchbuild {

// Writes `bytes` to `path` (UTF-8) through "path.partial-XXXXXX" and a rename. False with `error` when
// any step fails; the temporary file is removed then and `path` is untouched. With `executable`
// the file gets execute permission (for tools that run it under Wine).
bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error,
                         bool executable = false);

}  // namespace patchbuild
