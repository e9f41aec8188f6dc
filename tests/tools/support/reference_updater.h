// A second, independent reading of how the updater identifies and applies a payload, written
// straight from its rules and run on real files through the platform layer (the Linux
// stand-in): the builder's own simulation is checked against it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ReferenceRun {
  int identified = -1;       // version index, -1 when nothing matched
  int versionCount = 0;
  int code = 0;              // application result, 0 to 9 (0 also when nothing ran)
  uint64_t reported = 0;     // progress units reported
  uint32_t total = 0;        // the payload's work total for the identified version
  size_t recordsRun = 0;     // records carried out or passed over
};

// Loads `container`, identifies the version installed in `folder` and, unless it is the newest
// or unknown, applies the operation list, stopping after `stopAfter` records (a cut-off run).
ReferenceRun referenceUpdate(const std::vector<uint8_t>& container, const std::string& folder,
                             size_t stopAfter = SIZE_MAX);
