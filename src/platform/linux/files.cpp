// Stand-in files: real Linux files behind Windows semantics. Backslashes are mapped to '/',
// read-only is the owner's write bit (enforced even for root, as Windows would), renaming
// never replaces, and every operation can be made to fail on demand.
#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/code_page.h"
#include "platform/files.h"
#include "platform/linux/standin_internal.h"

struct PlatformFile {
  FILE* stream;
};

namespace standin {
namespace {

std::filesystem::path confinedTo;  // empty: no confinement
std::vector<std::string> violations;

bool existsReadOnly(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0;
}

bool isFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::filesystem::path resolved(const std::string& host) {
  std::filesystem::path path(host);
  if (path.is_relative()) {
    std::error_code ignored;
    path = std::filesystem::current_path(ignored) / path;
  }
  return path.lexically_normal();
}

}  // namespace

// Whether `path` is the confinement root (whose trailing separator has been dropped) or lies
// below it.
bool insideConfinement(const char* path) {
  if (confinedTo.empty() || !path) return true;
  std::filesystem::path candidate = resolved(hostPath(path));
  auto inside = confinedTo.begin(), outside = candidate.begin();
  for (; inside != confinedTo.end(); ++inside, ++outside) {
    if (outside == candidate.end() || *outside != *inside) {
      violations.push_back(path);
      return false;
    }
  }
  return true;
}

void resetFiles() {
  resetFileFaults();
  confinedTo.clear();
  violations.clear();
}

void confineFileOps(const std::string& root) {
  confinedTo.clear();
  if (root.empty()) return;
  confinedTo = resolved(hostPath(root.c_str()));
  if (confinedTo.filename().empty()) confinedTo = confinedTo.parent_path();
}
std::vector<std::string> confinementViolations() { return violations; }

std::string hostPath(const char* path) {
  std::string mapped(path);
  // Separator characters only: a 0x5C that is the second byte of a double-byte character in the
  // modelled code page is part of a name.
  for (size_t i = 0; i < mapped.size(); i++) {
    bool pair = isLeadByte(static_cast<unsigned char>(mapped[i])) && i + 1 < mapped.size() &&
                static_cast<unsigned char>(mapped[i + 1]) >= 0x40;
    if (pair)
      i++;
    else if (mapped[i] == '\\')
      mapped[i] = '/';
  }
  return mapped;
}

void setReadOnly(const std::string& path, bool readOnly) {
  std::string host = hostPath(path.c_str());
  struct stat info;
  if (stat(host.c_str(), &info) != 0) return;
  mode_t mode = info.st_mode & 07777;
  chmod(host.c_str(), readOnly ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR));
}

bool isReadOnly(const std::string& path) { return existsReadOnly(hostPath(path.c_str())); }

}  // namespace standin

using standin::FileOp;
using standin::fileOpAllowed;
using standin::hostPath;

PlatformFile* openRead(const char* path) {
  if (!fileOpAllowed(FileOp::Open, path)) return nullptr;
  std::string host = hostPath(path);
  if (standin::isFolder(host)) return nullptr;  // Windows cannot open a folder as a stream
  FILE* stream = std::fopen(host.c_str(), "rb");
  return stream ? new PlatformFile{stream} : nullptr;
}

PlatformFile* createWrite(const char* path) {
  if (!fileOpAllowed(FileOp::Create, path)) return nullptr;
  std::string host = hostPath(path);
  if (standin::existsReadOnly(host)) return nullptr;
  FILE* stream = std::fopen(host.c_str(), "wb");
  return stream ? new PlatformFile{stream} : nullptr;
}

size_t readFile(PlatformFile* file, void* buffer, size_t count) {
  if (!fileOpAllowed(FileOp::Read, nullptr)) return 0;
  return std::fread(buffer, 1, count, file->stream);
}

size_t writeFile(PlatformFile* file, const void* data, size_t count) {
  if (!fileOpAllowed(FileOp::Write, nullptr)) return count / 2;  // a short write, as on a full disk
  return std::fwrite(data, 1, count, file->stream);
}

bool seekFile(PlatformFile* file, uint64_t offset) {
  if (!fileOpAllowed(FileOp::Seek, nullptr)) return false;
  return fseeko(file->stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool seekToEnd(PlatformFile* file, uint64_t* size) {
  if (!fileOpAllowed(FileOp::SeekToEnd, nullptr)) return false;
  if (fseeko(file->stream, 0, SEEK_END) != 0) return false;
  off_t position = ftello(file->stream);
  if (position < 0) return false;
  *size = static_cast<uint64_t>(position);
  return true;
}

bool flushToDisk(PlatformFile* file) {
  if (!fileOpAllowed(FileOp::Flush, nullptr)) return false;
  return std::fflush(file->stream) == 0 && fsync(fileno(file->stream)) == 0;
}

bool closeFile(PlatformFile* file) {
  bool allowed = fileOpAllowed(FileOp::Close, nullptr);
  // A close that fails may not have written out what the stream still buffered: it is lost.
  if (!allowed) __fpurge(file->stream);
  bool closed = std::fclose(file->stream) == 0;
  delete file;
  return allowed && closed;
}

bool resetAttributes(const char* path) {
  if (!fileOpAllowed(FileOp::ResetAttributes, path)) return false;
  std::string host = hostPath(path);
  struct stat info;
  if (stat(host.c_str(), &info) != 0) return false;
  return chmod(host.c_str(), (info.st_mode & 07777) | S_IWUSR) == 0;
}

bool deleteFile(const char* path) {
  if (!fileOpAllowed(FileOp::Delete, path)) return false;
  std::string host = hostPath(path);
  if (standin::existsReadOnly(host) || standin::isFolder(host)) return false;
  return unlink(host.c_str()) == 0;
}

bool moveFile(const char* from, const char* to) {
  if (!fileOpAllowed(FileOp::Rename, from, to)) return false;
  std::string hostFrom = hostPath(from), hostTo = hostPath(to);
  // renameat2 with RENAME_NOREPLACE refuses an existing destination atomically, like MoveFileA.
  constexpr unsigned kRenameNoReplace = 1;
  return syscall(SYS_renameat2, AT_FDCWD, hostFrom.c_str(), AT_FDCWD, hostTo.c_str(),
                 kRenameNoReplace) == 0;
}

FolderCreation createFolder(const char* path) {
  if (!fileOpAllowed(FileOp::MakeFolder, path)) return FolderCreation::Failed;
  if (standin::folderPathTooLong(path)) return FolderCreation::NameTooLong;
  if (mkdir(hostPath(path).c_str(), 0777) == 0) return FolderCreation::Made;
  return errno == ENAMETOOLONG ? FolderCreation::NameTooLong : FolderCreation::Failed;
}

bool removeFolder(const char* path) {
  if (!fileOpAllowed(FileOp::RemoveFolder, path)) return false;
  std::string host = hostPath(path);
  if (standin::existsReadOnly(host)) return false;
  return rmdir(host.c_str()) == 0;
}

bool freeSpaceForUser(const char* folder, uint64_t* bytes) {
  std::optional<uint64_t> figure;
  if (!standin::freeSpaceQueryAllowed(folder, figure)) return false;
  std::string host = hostPath(folder);
  struct statvfs info;
  if (statvfs(host.c_str(), &info) != 0) return false;
  *bytes = figure ? *figure : static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  return true;
}
