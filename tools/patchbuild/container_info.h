// What a container holds, read back the way the updater reads it: for `patchbuild info` and for
// `verify`.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace patchbuild {

struct OpInfo {
  uint8_t type = 0;
  std::string name, newName;  // code page bytes
  int16_t version = 0;        // deltas
  uint32_t newSize = 0, newChecksum = 0, oldSize = 0, oldChecksum = 0;
  uint64_t copies = 0, literals = 0, copiedBytes = 0, literalBytes = 0;  // deltas
  uint64_t bodyLength = 0;    // writes: the file's size
};

struct ContainerInfo {
  size_t containerSize = 0, compressedSize = 0, payloadSize = 0;
  std::string registryPath;
  std::vector<std::pair<std::string, std::string>> messages;
  int32_t versionCount = 0;
  std::vector<uint32_t> workTotals;
  std::vector<std::pair<std::string, std::vector<uint32_t>>> identFiles;
  std::vector<OpInfo> ops;
  std::vector<uint8_t> payload;  // the inflated payload
};

// Loads, checks and reads a container. False with `error` for a file that cannot be read, a
// container that the updater would refuse (its code, 401 to 410) or a payload that fails the
// structural check.
bool readContainer(const std::string& path, ContainerInfo& info, std::string& error);

// The report of `patchbuild info`, texts converted from `codePage` to UTF-8.
std::string describeContainer(const ContainerInfo& info, int codePage);
std::string describeContainerJson(const ContainerInfo& info, int codePage);

const char* opTypeName(uint8_t type);

}  // namespace patchbuild
