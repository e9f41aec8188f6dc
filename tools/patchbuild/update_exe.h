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

// What the command line asks for: where the update goes and which updater it is made from.
struct UpdateExeRequest {
  std::string output;                // empty: no update executable wanted
  std::string templatePath;          // empty: the updater beside patchbuild
  std::filesystem::path program;     // patchbuild's own path
};

// The template's bytes, read and checked to be an executable whose resources can be rewritten
// (before a long build, not after it). False with `error` naming the file.
bool readTemplate(const UpdateExeRequest& request, std::vector<uint8_t>& image, std::string& error);

// Makes the update from the template's `image` and writes it whole to request.output. False
// with `error` naming the file that failed.
bool writeUpdateExe(const UpdateExeRequest& request, const std::vector<uint8_t>& image,
                    const std::vector<uint8_t>& container, const ExeBranding& branding,
                    std::vector<std::string>& warnings, std::string& error);

// The running program's own path: the link the system keeps for it where there is one, else
// `argv0` as typed, looked up on PATH when it names no folder.
std::filesystem::path ownProgramPath(const char* argv0);

}  // namespace patchbuild
