// Stand-in files kept in memory, for the fuzz build: an update's every file operation costs
// microseconds instead of a system call or several. The semantics are those of the real-file
// stand-in, and of Windows where Linux differs: names compare without regard to case, renaming
// never replaces, folders are made one level at a time and removed only when empty, read-only
// files cannot be opened for writing or deleted, and an open file cannot be deleted or renamed
// (the C runtime opens files without delete sharing). `standin::reset()` empties the disk.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/linux/memory_disk.h"
#include "platform/linux/standin_internal.h"

using standin::memory::Disk;
using standin::memory::Entry;
using standin::memory::FileData;
using standin::memory::SplitPath;

struct PlatformFile {
  std::shared_ptr<FileData> data;
  bool writing;
  uint64_t position = 0;
  // The file's size when the stream last emptied its buffer: what it appended since then is
  // still in the buffer, as with a C runtime's stream, and a failed close loses it. The buffer
  // empties when it holds 4 KiB, on a seek or flush, and on a close that succeeds.
  uint64_t drainedSize = 0;
};

namespace standin {
namespace {

constexpr size_t kStreamBuffer = 4096;
// Larger files would only come from a seek far past the end; a real disk would be full.
constexpr uint64_t kLargestFile = uint64_t{1} << 30;
// What a query answers unless a test sets a figure: a roomy drive.
constexpr uint64_t kFreeSpace = uint64_t{64} << 30;

memory::Disk disk;
std::optional<SplitPath> confinedTo;
std::vector<std::string> violations;
// Paths are split into these, which keep their capacity from one operation to the next; the
// confinement check has its own, as it runs inside an operation that has split its paths.
SplitPath firstPath, secondPath, checkedPath;

Entry* find(const char* path) { return memory::splitPath(path, firstPath) ? disk.find(firstPath) : nullptr; }

std::string_view lastName(const SplitPath& path) { return path.written(path.size() - 1); }
std::string_view lastKey(const SplitPath& path) { return path.key(path.size() - 1); }

PlatformFile* openStream(Entry* file, bool writing) {
  file->file->openStreams++;
  PlatformFile* stream = new PlatformFile;
  stream->data = file->file;
  stream->writing = writing;
  return stream;
}

void drain(PlatformFile* stream) { stream->drainedSize = stream->data->bytes.size(); }

// Whether `folder` is `entry` or lies below it: a folder cannot move into itself.
bool within(const Entry* folder, const Entry* entry) {
  for (; folder; folder = folder->parent)
    if (folder == entry) return true;
  return false;
}

}  // namespace

bool insideConfinement(const char* path) {
  if (!confinedTo || !path || memory::plainlyWithin(path, confinedTo->source)) return true;
  if (memory::splitPath(path, checkedPath) && memory::startsWith(checkedPath, *confinedTo)) return true;
  violations.push_back(path);
  return false;
}

void resetFiles() {
  resetFileFaults();
  disk.clear();
  confinedTo.reset();
  violations.clear();
}

void confineFileOps(const std::string& root) {
  confinedTo.reset();
  SplitPath split;
  if (!root.empty() && memory::splitPath(root.c_str(), split)) confinedTo = split;
}
std::vector<std::string> confinementViolations() { return violations; }

std::string hostPath(const char* path) {
  std::string mapped(path);
  for (char& c : mapped)
    if (c == '\\') c = '/';
  return mapped;
}

void setReadOnly(const std::string& path, bool readOnly) {
  if (Entry* entry = find(path.c_str())) entry->readOnly = readOnly;
}

bool isReadOnly(const std::string& path) {
  Entry* entry = find(path.c_str());
  return entry && entry->readOnly;
}

}  // namespace standin

using standin::FileOp;
using standin::fileOpAllowed;

PlatformFile* openRead(const char* path) {
  if (!fileOpAllowed(FileOp::Open, path)) return nullptr;
  Entry* entry = standin::find(path);
  if (!entry || entry->folder) return nullptr;
  return standin::openStream(entry, false);
}

PlatformFile* createWrite(const char* path) {
  if (!fileOpAllowed(FileOp::Create, path)) return nullptr;
  SplitPath& split = standin::firstPath;
  if (!standin::memory::splitPath(path, split) || split.folderOnly) return nullptr;
  Entry* entry = standin::disk.find(split);
  if (entry) {
    if (entry->folder || entry->readOnly) return nullptr;
    entry->file->bytes.clear();
  } else {
    Entry* folder = standin::disk.holder(split);
    if (!folder) return nullptr;
    entry = standin::disk.add(folder, standin::lastName(split), false);
  }
  return standin::openStream(entry, true);
}

size_t readFile(PlatformFile* file, void* buffer, size_t count) {
  if (!fileOpAllowed(FileOp::Read, nullptr)) return 0;
  const std::vector<uint8_t>& bytes = file->data->bytes;
  if (file->writing || file->position >= bytes.size()) return 0;
  size_t available = static_cast<size_t>(bytes.size() - file->position);
  size_t read = count < available ? count : available;
  std::memcpy(buffer, bytes.data() + file->position, read);
  file->position += read;
  return read;
}

size_t writeFile(PlatformFile* file, const void* data, size_t count) {
  if (!fileOpAllowed(FileOp::Write, nullptr)) return count / 2;  // a short write, as on a full disk
  if (!file->writing || count > standin::kLargestFile - file->position) return 0;
  std::vector<uint8_t>& bytes = file->data->bytes;
  uint64_t end = file->position + count;
  if (bytes.size() < end) bytes.resize(end);
  if (count > 0) std::memcpy(bytes.data() + file->position, data, count);
  file->position = end;
  if (bytes.size() >= file->drainedSize + standin::kStreamBuffer) standin::drain(file);
  return count;
}

bool seekFile(PlatformFile* file, uint64_t offset) {
  if (!fileOpAllowed(FileOp::Seek, nullptr)) return false;
  if (offset > standin::kLargestFile) return false;
  standin::drain(file);
  file->position = offset;
  return true;
}

bool seekToEnd(PlatformFile* file, uint64_t* size) {
  if (!fileOpAllowed(FileOp::SeekToEnd, nullptr)) return false;
  standin::drain(file);
  file->position = file->data->bytes.size();
  *size = file->position;
  return true;
}

bool flushToDisk(PlatformFile* file) {
  if (!fileOpAllowed(FileOp::Flush, nullptr)) return false;
  standin::drain(file);
  return true;
}

bool closeFile(PlatformFile* file) {
  // A close that fails loses what the stream still buffered, as a real one may.
  bool closed = fileOpAllowed(FileOp::Close, nullptr);
  std::vector<uint8_t>& bytes = file->data->bytes;
  if (!closed && file->writing && bytes.size() > file->drainedSize) bytes.resize(file->drainedSize);
  file->data->openStreams--;
  delete file;
  return closed;
}

bool resetAttributes(const char* path) {
  if (!fileOpAllowed(FileOp::ResetAttributes, path)) return false;
  Entry* entry = standin::find(path);
  if (!entry) return false;
  entry->readOnly = false;
  return true;
}

bool deleteFile(const char* path) {
  if (!fileOpAllowed(FileOp::Delete, path)) return false;
  Entry* entry = standin::find(path);
  if (!entry || entry->folder || entry->readOnly || entry->file->openStreams > 0) return false;
  standin::disk.remove(entry);
  return true;
}

bool moveFile(const char* from, const char* to) {
  if (!fileOpAllowed(FileOp::Rename, from, to)) return false;
  SplitPath &source = standin::firstPath, &destination = standin::secondPath;
  if (!standin::memory::splitPath(from, source) || !standin::memory::splitPath(to, destination)) return false;
  Entry* entry = standin::disk.find(source);
  Entry* folder = standin::disk.holder(destination);
  if (!entry || !folder || source.size() == 0) return false;
  if (!entry->folder && (destination.folderOnly || entry->file->openStreams > 0)) return false;
  if (entry->folder && standin::within(folder, entry)) return false;
  std::string_view name = standin::lastName(destination);
  Entry* existing = Disk::child(folder, standin::lastKey(destination));
  // The same entry named in other letter case is renamed, as Windows does; anything else there
  // stays, and so does the source.
  if (existing && (existing != entry || entry->name == name)) return false;
  standin::disk.move(entry, folder, name);
  return true;
}

FolderCreation createFolder(const char* path) {
  if (!fileOpAllowed(FileOp::MakeFolder, path)) return FolderCreation::Failed;
  if (standin::folderPathTooLong(path)) return FolderCreation::NameTooLong;
  SplitPath& split = standin::firstPath;
  if (!standin::memory::splitPath(path, split)) return FolderCreation::Failed;
  Entry* folder = standin::disk.holder(split);
  if (!folder || Disk::child(folder, standin::lastKey(split))) return FolderCreation::Failed;
  standin::disk.add(folder, standin::lastName(split), true);
  return FolderCreation::Made;
}

bool removeFolder(const char* path) {
  if (!fileOpAllowed(FileOp::RemoveFolder, path)) return false;
  Entry* entry = standin::find(path);
  if (!entry || !entry->folder || !entry->parent || entry->readOnly || !entry->children.empty()) return false;
  standin::disk.remove(entry);
  return true;
}

bool freeSpaceForUser(const char* folder, uint64_t* bytes) {
  std::optional<uint64_t> figure;
  if (!standin::freeSpaceQueryAllowed(folder, figure)) return false;
  if (!standin::find(folder)) return false;
  *bytes = figure ? *figure : standin::kFreeSpace;
  return true;
}
