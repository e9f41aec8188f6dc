// The updater's own engines (identification and application, on the Linux stand-in) run on a
// container and an installed folder, so that what the builder promises is checked against the
// code that users run, not only against a second reading of its rules.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct EngineRun {
  bool loaded = false;      // container checks and structural check passed
  int32_t status = 0;       // identification's (and then application's) status
  int32_t identified = -1;  // the version identification found, -1 when none
  int32_t code = -1;        // application's result, -1 when it did not run
  uint32_t reported = 0;    // progress units application reported
  uint32_t total = 0;       // the work total for the identified version
};

EngineRun engineUpdate(const std::vector<uint8_t>& container, const std::string& folder);
