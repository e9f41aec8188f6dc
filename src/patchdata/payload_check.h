// The structural check of a whole payload, run once right after loading: every section is
// walked with the checked cursor, so a badly built or hostile patch is refused before anything
// reads it. The checksums say the patch arrived as built, not that it was built well.
#pragma once
#include <cstddef>
#include <cstdint>

// Start-up shows a failure as container code 10 (error 410).
constexpr int kLoadPayloadStructureBroken = 10;

struct PayloadProblem {
  bool found = false;
  size_t offset = 0;            // payload offset where the fault was seen
  const char* what = nullptr;   // a short description, for tools and logs
};

// Walks the payload (its first four bytes are its checksum) and reports the first fault:
// a count, string, record body or delta command that runs past its end, a registry path longer
// than 2047 bytes, or a name that would reach outside the install folder.
PayloadProblem checkPayloadStructure(const uint8_t* payload, size_t size);
