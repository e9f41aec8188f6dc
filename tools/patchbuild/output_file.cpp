// Atomic output: a temporary file beside the target, then a rename.
#include "patchbuild/output_file.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace patchbuild {

bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error,
                         bool executable) {
  std::string temporary = path + ".partial-XXXXXX";
  int descriptor = mkstemp(temporary.data());
  if (descriptor < 0) {
    error = fmt::format("{}: cannot create a file beside it: {}", path, std::strerror(errno));
    return false;
  }
  size_t written = 0;
  while (written < bytes.size()) {
    ssize_t now = ::write(descriptor, bytes.data() + written, bytes.size() - written);
    if (now <= 0) break;
    written += static_cast<size_t>(now);
  }
  int mode = executable ? 0755 : 0644;
  bool ok = written == bytes.size() && fchmod(descriptor, static_cast<mode_t>(mode & ~0022)) == 0 &&
            fsync(descriptor) == 0;
  int savedErrno = errno;
  if (::close(descriptor) != 0) ok = false;
  if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  error = fmt::format("{}: cannot be written: {}", path, std::strerror(ok ? errno : savedErrno));
  std::remove(temporary.c_str());
  return false;
}

}  // namespace patchbuild
