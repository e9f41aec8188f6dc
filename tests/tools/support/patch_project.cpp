#include "support/patch_project.h"

#include <filesystem>
#include <fstream>

#include "patchbuild/project_file.h"

namespace fs = std::filesystem;

PatchProject::PatchProject(int versions) : versions_(versions) {
  for (int v = 0; v < versions; v++) root_.makeFolder("v" + std::to_string(v));
}

PatchProject& PatchProject::file(int v, const std::string& relative, const FileBytes& bytes) {
  root_.write("v" + std::to_string(v) + "/" + relative, bytes);
  return *this;
}

PatchProject& PatchProject::file(int v, const std::string& relative, const std::string& text) {
  return file(v, relative, bytesOf(text));
}

PatchProject& PatchProject::same(int from, int to, const std::string& relative, const FileBytes& bytes) {
  for (int v = from; v <= to; v++) file(v, relative, bytes);
  return *this;
}

PatchProject& PatchProject::same(int from, int to, const std::string& relative, const std::string& text) {
  return same(from, to, relative, bytesOf(text));
}

PatchProject& PatchProject::folder(int v, const std::string& relative) {
  root_.makeFolder("v" + std::to_string(v) + "/" + relative);
  return *this;
}

PatchProject& PatchProject::extra(const std::string& toml) {
  extra_ += toml + "\n";
  return *this;
}

PatchProject& PatchProject::codePage(int codePage) {
  codePage_ = codePage;
  return *this;
}

std::string PatchProject::versionFolder(int v) const { return root_.at("v" + std::to_string(v)); }
std::string PatchProject::projectPath() const { return root_.at("project.toml"); }

void PatchProject::writeProject() const {
  std::string text = "registry = 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\App\\Path'\ncodepage = " +
                     std::to_string(codePage_) + "\n\n[messages]\nT_MAINTITLE = \"Test update\"\n";
  for (int v = 0; v < versions_; v++) text += "T_IDENT" + std::to_string(v) + " = \"Version " + std::to_string(v) + "\"\n";
  for (int v = 0; v < versions_; v++) text += "\n[[versions]]\nfolder = \"v" + std::to_string(v) + "\"\n";
  text += "\n" + extra_;
  std::ofstream(projectPath()) << text;
}

bool PatchProject::build(std::string& error, patchbuild::BuildSummary* summary,
                         const patchbuild::BuildSettings& settings) {
  writeProject();
  patchbuild::Project project;
  if (!patchbuild::loadProject(projectPath(), project, error)) return false;
  patchbuild::BuildSummary ignored;
  return patchbuild::buildContainer(project, settings, container_, summary ? *summary : ignored, error);
}

std::string PatchProject::install(int v) {
  std::string path = root_.at("install" + std::to_string(installs_++));
  fs::copy(versionFolder(v), path, fs::copy_options::recursive);
  return path;
}

std::vector<std::pair<std::string, FileBytes>> PatchProject::contents(const std::string& path) {
  std::vector<std::pair<std::string, FileBytes>> entries;
  for (const auto& entry : fs::recursive_directory_iterator(path)) {
    std::string relative = fs::relative(entry.path(), path).string();
    if (entry.is_directory()) {
      entries.emplace_back(relative + "/", FileBytes{});
    } else {
      std::ifstream in(entry.path(), std::ios::binary);
      entries.emplace_back(relative, FileBytes(std::istreambuf_iterator<char>(in), {}));
    }
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

FileBytes patterned(size_t count, uint32_t seed) { return randomBytes(count, seed); }

FileBytes spliced(FileBytes bytes, size_t at, const std::string& insert) {
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), insert.begin(), insert.end());
  return bytes;
}
