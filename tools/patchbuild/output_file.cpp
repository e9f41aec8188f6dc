// Atomic output: a temporary file beside the target, then a rename.
#include "patchbuild/output_file.h"

#include <fmt/format.h>

#include "patchbuild/host/host.h"

namespace patchbuild {

bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error,
                         bool executable) {
  std::string why;
  if (host::replaceFile(host::pathFromUtf8(path), bytes, executable, why)) return true;
  error = fmt::format("{}: {}", path, why);
  return false;
}

}  // namespace patchbuild
