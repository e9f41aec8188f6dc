// The small install folder that the application fuzz target works on, rebuilt before every
// input, and the payloads that the seed corpora start from, built against it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzing {

using Bytes = std::vector<uint8_t>;

struct ScratchFile {
  std::string name;  // relative, with backslashes as the payload spells it
  Bytes content;
  bool readOnly = false;
};

// The files of the scratch install (version 0 of a small program); the same on every call.
const std::vector<ScratchFile>& scratchFiles();
// The empty folders of the scratch install, relative, with backslashes.
const std::vector<std::string>& scratchFolders();

// Returns the stand-in to its start (which empties the fuzz build's in-memory files), empties
// `folder` and writes the scratch install into it through the platform layer, so that the same
// install is made on real files and in memory. Its own file operations are counted; failNth
// counts from the call that sets it, so a fault still lands where an input asks. The folders
// of scratchFolders() come before the files, which lie in them or beside them.
void resetScratchInstall(const std::string& folder);

// Payloads (with their leading checksum) that exercise every record type against the scratch
// install: a full update, the version filter, refused names, broken records.
std::vector<Bytes> seedPayloads();

}  // namespace fuzzing
