// Windows files: C runtime streams for the buffered binary reads and writes, and the
// narrow file-system calls for attributes, deletion, renaming and folders.
#include <io.h>

#include <cstdio>

#include "platform/files.h"
#include "platform/win32/windows_headers.h"

struct PlatformFile {
  FILE* stream;
};

PlatformFile* openRead(const char* path) {
  FILE* stream = std::fopen(path, "rb");
  return stream ? new PlatformFile{stream} : nullptr;
}

PlatformFile* createWrite(const char* path) {
  FILE* stream = std::fopen(path, "wb");
  return stream ? new PlatformFile{stream} : nullptr;
}

size_t readFile(PlatformFile* file, void* buffer, size_t count) {
  return std::fread(buffer, 1, count, file->stream);
}

size_t writeFile(PlatformFile* file, const void* data, size_t count) {
  return std::fwrite(data, 1, count, file->stream);
}

// The 64-bit stream calls: copy offsets reach up to 4 GiB, beyond what a long can hold here.
bool seekFile(PlatformFile* file, uint64_t offset) {
  return _fseeki64(file->stream, static_cast<__int64>(offset), SEEK_SET) == 0;
}

bool seekToEnd(PlatformFile* file, uint64_t* size) {
  if (_fseeki64(file->stream, 0, SEEK_END) != 0) return false;
  __int64 position = _ftelli64(file->stream);
  if (position < 0) return false;
  *size = static_cast<uint64_t>(position);
  return true;
}

bool flushToDisk(PlatformFile* file) {
  if (std::fflush(file->stream) != 0) return false;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file->stream)));
  return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
}

bool closeFile(PlatformFile* file) {
  bool closed = std::fclose(file->stream) == 0;
  delete file;
  return closed;
}

bool resetAttributes(const char* path) {
  return SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL) != 0;
}

bool deleteFile(const char* path) { return DeleteFileA(path) != 0; }

// MoveFileA never replaces an existing destination, which is what the update relies on.
bool moveFile(const char* from, const char* to) { return MoveFileA(from, to) != 0; }

FolderCreation createFolder(const char* path) {
  if (CreateDirectoryA(path, nullptr)) return FolderCreation::Made;
  return GetLastError() == ERROR_FILENAME_EXCED_RANGE ? FolderCreation::NameTooLong : FolderCreation::Failed;
}

bool removeFolder(const char* path) { return RemoveDirectoryA(path) != 0; }

bool freeSpaceForUser(const char* folder, uint64_t* bytes) {
  ULARGE_INTEGER freeToCaller, total, totalFree;
  if (!GetDiskFreeSpaceExA(folder, &freeToCaller, &total, &totalFree)) return false;
  *bytes = freeToCaller.QuadPart;
  return true;
}
