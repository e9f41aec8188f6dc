// Putting the container and the branding into a copy of the updater in one rewrite.
#include "patchbuild/update_exe.h"

#include <cstdlib>

namespace fs = std::filesystem;

namespace patchbuild {

bool makeUpdateExe(const std::vector<uint8_t>& templateImage, const std::vector<uint8_t>& container,
                   const ExeBranding& branding, std::vector<uint8_t>& result, std::vector<std::string>& warnings,
                   std::string& error) {
  ResourceTree tree;
  if (!readResourceTree(templateImage, tree, error)) return false;
  putPatchResource(tree, container);
  if (!applyBranding(branding, tree, error)) return false;
  RewriteNotes notes;
  if (!writeResourceTree(templateImage, tree, result, notes, error)) return false;
  if (notes.droppedSignature)
    warnings.push_back("the template was signed; its signature is removed, as it would no longer match: "
                       "sign the update executable again");
  return true;
}

fs::path templateBeside(const fs::path& program) { return program.parent_path() / "PatchUtility.exe"; }

fs::path ownProgramPath(const char* argv0) {
  std::error_code code;
  fs::path self = fs::read_symlink("/proc/self/exe", code);
  if (!code && !self.empty()) return self;
  fs::path typed = fs::u8path(argv0 ? argv0 : "");
  if (typed.has_parent_path()) return fs::absolute(typed, code);
  // A bare name: found in the current folder (Windows looks there first) or on PATH.
  std::vector<fs::path> folders{fs::current_path(code)};
  const char separator = fs::path::preferred_separator == '\\' ? ';' : ':';
  if (const char* path = std::getenv("PATH")) {
    std::string list = path;
    for (size_t at = 0, end; at <= list.size(); at = end + 1) {
      end = list.find(separator, at);
      if (end == std::string::npos) end = list.size();
      if (end > at) folders.push_back(fs::u8path(list.substr(at, end - at)));
    }
  }
  for (const fs::path& folder : folders)
    for (const fs::path& name : {typed, fs::path(typed.string() + ".exe")})
      if (fs::is_regular_file(folder / name, code)) return folder / name;
  return typed;
}

}  // namespace patchbuild
