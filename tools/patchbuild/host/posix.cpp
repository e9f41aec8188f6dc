// The builder's host on Linux (and other POSIX systems): paths are bytes, taken as UTF-8.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "patchbuild/host/host.h"

namespace fs = std::filesystem;

namespace patchbuild::host {

fs::path pathFromUtf8(const std::string& utf8) { return fs::path(utf8); }

std::string utf8FromPath(const fs::path& path) { return path.string(); }

fs::path programPath() {
  std::error_code code;
  fs::path self = fs::read_symlink("/proc/self/exe", code);
  return code ? fs::path() : self;
}

bool isLink(const fs::path& path) {
  std::error_code ignored;
  return fs::is_symlink(fs::symlink_status(path, ignored));
}

FILE* openForReading(const fs::path& path) { return std::fopen(path.c_str(), "rb"); }

bool mapFile(const fs::path& path, const uint8_t*& data, size_t& size) {
  data = nullptr;
  size = 0;
  int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return false;
  struct stat info;
  bool ok = fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode);
  if (ok && info.st_size > 0) {
    void* at = mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, descriptor, 0);
    if (at == MAP_FAILED) {
      ok = false;
    } else {
      data = static_cast<const uint8_t*>(at);
      size = static_cast<size_t>(info.st_size);
      madvise(at, size, MADV_SEQUENTIAL);
    }
  }
  ::close(descriptor);
  return ok;
}

void unmapFile(const uint8_t* data, size_t size) {
  if (data) munmap(const_cast<uint8_t*>(data), size);
}

bool replaceFile(const fs::path& path, const std::vector<uint8_t>& bytes, bool executable, std::string& why) {
  std::string temporary = path.string() + ".partial-XXXXXX";
  int descriptor = mkstemp(temporary.data());
  if (descriptor < 0) {
    why = std::string("cannot create a file beside it: ") + std::strerror(errno);
    return false;
  }
  size_t written = 0;
  while (written < bytes.size()) {
    ssize_t now = ::write(descriptor, bytes.data() + written, bytes.size() - written);
    if (now <= 0) break;
    written += static_cast<size_t>(now);
  }
  // mkstemp makes the file 0600; the usual permissions for a file the user hands on.
  int mode = executable ? 0755 : 0644;
  bool ok = written == bytes.size() && fchmod(descriptor, static_cast<mode_t>(mode & ~0022)) == 0 &&
            fsync(descriptor) == 0;
  int savedErrno = errno;
  if (::close(descriptor) != 0) ok = false;
  if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  why = std::string("cannot be written: ") + std::strerror(ok ? errno : savedErrno);
  std::remove(temporary.c_str());
  return false;
}

bool stderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

long peakMemoryMiB() {
  struct rusage usage;
  if (getrusage(RUSAGE_SELF, &usage) != 0) return -1;
  return usage.ru_maxrss / 1024;  // Linux counts kilobytes
}

std::vector<std::string> utf8Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

}  // namespace patchbuild::host
