// The vendor's branding of the update executable: the project file's [exe] table.
//
//   [exe]
//   icon = "app.ico"                     # relative to the project file
//   product_name = "Example"
//   product_version = "1.2.0"            # up to four numbers; also the numeric file and product version
//   company = "Example Ltd"
//   description = "Example 1.2 Update"   # FileDescription: the administrator prompt shows it
//   copyright = "(c) 2026 Example Ltd"
//
// Every key is optional; what is left out keeps the updater's own value.
#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "patchbuild/icon_file.h"
#include "patchbuild/pe_resource.h"
#include "patchbuild/version_resource.h"

namespace patchbuild {

struct ExeBranding {
  bool present = false;                 // the project has an [exe] table
  std::filesystem::path iconPath;       // resolved; empty when the icon is kept
  std::vector<IconImage> icon;          // its images, read when the project is loaded
  std::optional<std::string> productName, productVersion, company, description, copyright;  // UTF-8
  VersionNumbers versionNumbers{};      // product_version as numbers
};

// Reads only the [exe] table of a project file (for `patchbuild exe --project`). False with
// `error` for a file that cannot be parsed, has no [exe] table, or as readExeTable.
bool loadExeBranding(const std::filesystem::path& projectFile, ExeBranding& branding, std::string& error);

// Applies `branding` to a resource tree: the icon's images replace those of the updater's icon
// group (101, else the first group) under the same group id, and the version resource gets the
// given strings and numbers, every other value kept. False with `error` when the tree's own
// version resource cannot be read.
bool applyBranding(const ExeBranding& branding, ResourceTree& tree, std::string& error);

}  // namespace patchbuild
