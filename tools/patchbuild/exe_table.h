// Reading the project file's [exe] table (see exe_branding.h) from its parsed TOML.
#pragma once
#include <filesystem>
#include <string>
#include <toml++/toml.h>

#include "patchbuild/exe_branding.h"

namespace patchbuild {

// Reads the [exe] table `node` of the project file `projectFile`, and the icon it names.
// False with `error` as "FILE:LINE:COLUMN: what" for an unknown key, a value that is not a
// string, a version that is not one to four numbers, or an icon that cannot be read or is not
// an icon.
bool readExeTable(const toml::node& node, const std::filesystem::path& projectFile, ExeBranding& branding,
                  std::string& error);

}  // namespace patchbuild
