// A dry run of a container against an installed folder: which version it is, and what every
// record would do to it, without writing anything.
#pragma once
#include <string>
#include <vector>

namespace patchbuild {

struct VerifyReport {
  int identified = -1;     // version index, -1 when not recognised
  int versionCount = 0;
  bool wouldSucceed = false;
  std::vector<std::string> lines;  // one per finding, UTF-8
};

// Reads the container and the files below `folder` that the payload names (identification
// files, record targets, temporary paths). False with `error` only when the container or the
// folder cannot be read; a folder that would not update is reported, not an error.
bool verifyInstall(const std::string& containerPath, const std::string& folder, int codePage,
                   VerifyReport& report, std::string& error);

}  // namespace patchbuild
