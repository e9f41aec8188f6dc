// The project file: what a vendor writes to describe an update (TOML).
//
//   registry = 'HKEY_LOCAL_MACHINE\SOFTWARE\Example\App\Path'
//   codepage = 1252                      # optional, 1252 by default
//   [messages]                           # key = text, in UTF-8
//   T_MAINTITLE = "Example 1.1 Update"
//   [[versions]]                         # oldest first; the last is what the patch produces
//   folder = "v1.0"                      # relative to the project file
//   name = "1.0"                         # optional, for reports
//   [identify]
//   auto = true                          # or: files = ["example.exe", "data\\main.pak"]
//   [options]
//   deltas = "chained"                   # or "exact"
//   compression = "auto"                 # "zopfli", or a zlib level 0 to 9
//   [exe]                                # the update executable's branding: exe_branding.h
#pragma once
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "patchbuild/exe_branding.h"

namespace patchbuild {

enum class DeltaMode { Chained, Exact };

// How the payload is deflated: zlib at a level, or zopfli, or zopfli when it is small enough.
struct Compression {
  enum Kind { Auto, Zlib, Zopfli } kind = Auto;
  int level = 9;        // zlib level, for Zlib
  int iterations = 0;   // zopfli iterations; 0 chooses by size
};

struct ProjectVersion {
  std::string folder;            // as written
  std::filesystem::path path;    // resolved against the project file's folder
  std::string name;              // for reports: `name`, else the folder
};

struct Project {
  std::filesystem::path file;
  std::string registryPath;                                   // UTF-8
  int codePage = 1252;
  std::vector<std::pair<std::string, std::string>> messages;  // UTF-8, in file order
  std::vector<ProjectVersion> versions;
  bool autoIdentify = true;
  std::vector<std::string> identFiles;  // as written; '/' or '\' separators
  DeltaMode deltas = DeltaMode::Chained;
  Compression compression;
  std::vector<std::string> warnings;    // things worth saying that do not stop the build
  ExeBranding exe;                      // the [exe] table
};

// Reads and checks a project file. False, with `error` as "FILE:LINE:COLUMN: what" (or
// "FILE: what" when no place applies), for a syntax error, a missing or mistyped key, an unknown
// key, a text that the code page cannot hold or a version folder that does not exist.
// Also refused: an empty folder, a version folder that holds the project file or another
// version's folder, and a registry path that the updater could never read (a root other than
// its five, or no key and value name); the short root names (HKLM, HKCU, HKCR, HKCC, HKU) are
// written out in full.
bool loadProject(const std::filesystem::path& file, Project& project, std::string& error);

// False with `error` when `output` would replace the project file or land in a version folder
// (the next build would ship the patch to users).
bool checkOutputPath(const Project& project, const std::filesystem::path& output, std::string& error);

// True when `path` lies below `folder` (both absolute and canonical).
bool isInside(const std::filesystem::path& path, const std::filesystem::path& folder);

}  // namespace patchbuild
