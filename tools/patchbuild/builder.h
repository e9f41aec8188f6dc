// From a project to a verified container: scan the version folders, choose the identification
// files, encode the deltas, plan the operation list, simulate it from every version (refusing
// a list that does not give the newest version byte for byte), count the work totals, check
// cut-off updates, and deflate.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "patchbuild/planner.h"
#include "patchbuild/progress.h"
#include "patchbuild/project_file.h"

namespace patchbuild {

struct BuildSummary {
  size_t payloadSize = 0, containerSize = 0;
  std::string compression;
  int versionCount = 0;
  std::vector<std::string> identFiles;
  std::vector<uint32_t> workTotals;
  size_t records[8] = {};         // by type
  std::vector<std::string> warnings;
};

struct BuildSettings {
  Progress* progress = nullptr;
  // Encoding and deflating threads; 0: PATCHBUILD_THREADS when set, else one per processor (at
  // most 4). The container does not depend on it.
  unsigned threads = 0;
  // For tests: changes each planned list before it is simulated (to see the refusal).
  std::function<void(std::vector<PlannedOp>&)> planHook;
  // The most work an update may report: the updater counts it in 32 bits. Tests lower it.
  uint64_t workLimit = UINT32_MAX;
};

// Builds the container for `project`. False with `error` (one line) when a folder cannot be
// read, identification cannot tell the versions apart, or some version cannot be brought to
// the newest one.
bool buildContainer(const Project& project, const BuildSettings& settings,
                    std::vector<uint8_t>& container, BuildSummary& summary, std::string& error);

}  // namespace patchbuild
