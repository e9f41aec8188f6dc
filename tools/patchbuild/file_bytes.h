// Fast access to file contents for the builder: whole files mapped read-only instead of copied,
// and the updater's checksum computed eight bytes at a time.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace patchbuild {

// A file's bytes, mapped read-only for the life of the object.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // False when the file cannot be opened or mapped. An empty file maps to no bytes.
  bool open(const std::filesystem::path& path);
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// The same value as checksumUpdate (the updater's byte-at-a-time loop), from tables that take
// eight bytes per step.
uint32_t fastChecksumUpdate(uint32_t checksumRegister, const uint8_t* bytes, size_t length);

}  // namespace patchbuild
