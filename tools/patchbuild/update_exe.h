// The update executable a vendor ships: a copy of the updater (the template) with the container
// as its PATCHDATA resource and, when the project has an [exe] table, the vendor's branding.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "patchbuild/exe_branding.h"

namespace patchbuild {

// Makes the update executable from `templateImage`. Warnings (a signature that had to go) are
// added to `warnings`. False with `error` when the template is not an executable this tool can
// rewrite.
bool makeUpdateExe(const std::vector<uint8_t>& templateImage, const std::vector<uint8_t>& container,
                   const ExeBranding& branding, std::vector<uint8_t>& result, std::vector<std::string>& warnings,
                   std::string& error);

// The updater that lies beside the running patchbuild program (as in the release bundle), given
// the program's own path: "PatchUtility.exe" in the same folder.
std::filesystem::path templateBeside(const std::filesystem::path& program);

// The running program's own path: the link the system keeps for it where there is one, else
// `argv0` as typed, looked up on PATH when it names no folder.
std::filesystem::path ownProgramPath(const char* argv0);

}  // namespace patchbuild
