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

// Empties `folder` (created when missing) and writes the scratch install into it, bypassing
// the stand-in so that nothing is counted or confined.
void resetScratchInstall(const std::string& folder);

// Payloads (with their leading checksum) that exercise every record type against the scratch
// install: a full update, the version filter, refused names, broken records.
std::vector<Bytes> seedPayloads();

}  // namespace fuzzing
