// Putting the container and the branding into a copy of the updater in one rewrite.
#include "patchbuild/update_exe.h"

#include <fmt/format.h>

#include <cstdlib>

#include "patchbuild/folder_scan.h"
#include "patchbuild/host/host.h"
#include "patchbuild/output_file.h"

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

namespace {

std::string templateName(const UpdateExeRequest& request) {
  return request.templatePath.empty() ? host::utf8FromPath(templateBeside(request.program)) : request.templatePath;
}

}  // namespace

bool readTemplate(const UpdateExeRequest& request, std::vector<uint8_t>& image, std::string& error) {
  std::string path = templateName(request);
  std::error_code code;
  if (request.templatePath.empty() && !fs::is_regular_file(host::pathFromUtf8(path), code)) {
    error = fmt::format("no --template given, and there is no PatchUtility.exe beside patchbuild (looked for {})", path);
    return false;
  }
  if (!readWholeFile(host::pathFromUtf8(path), image)) {
    error = fmt::format("{}: the file cannot be read", path);
    return false;
  }
  ResourceTree unused;
  if (!readResourceTree(image, unused, error)) {
    error = fmt::format("{}: {}", path, error);
    return false;
  }
  return true;
}

bool writeUpdateExe(const UpdateExeRequest& request, const std::vector<uint8_t>& image,
                    const std::vector<uint8_t>& container, const ExeBranding& branding,
                    std::vector<std::string>& warnings, std::string& error) {
  std::vector<uint8_t> result;
  if (!makeUpdateExe(image, container, branding, result, warnings, error)) {
    error = fmt::format("{}: {}", templateName(request), error);
    return false;
  }
  return writeFileAtomically(request.output, result, error, true);
}

fs::path ownProgramPath(const char* argv0) {
  fs::path self = host::programPath();
  if (!self.empty()) return self;
  std::error_code code;
  fs::path typed = host::pathFromUtf8(argv0 ? argv0 : "");
  if (typed.has_parent_path()) return fs::absolute(typed, code);
  // A bare name: found in the current folder (Windows looks there first) or on PATH.
  std::vector<fs::path> folders{fs::current_path(code)};
  const char separator = fs::path::preferred_separator == '\\' ? ';' : ':';
  if (const char* path = std::getenv("PATH")) {
    std::string list = path;
    for (size_t at = 0, end; at <= list.size(); at = end + 1) {
      end = list.find(separator, at);
      if (end == std::string::npos) end = list.size();
      if (end > at) folders.push_back(host::pathFromUtf8(list.substr(at, end - at)));
    }
  }
  for (const fs::path& folder : folders)
    for (const fs::path& name : {typed, host::pathFromUtf8(host::utf8FromPath(typed) + ".exe")})
      if (fs::is_regular_file(folder / name, code)) return folder / name;
  return typed;
}

}  // namespace patchbuild
