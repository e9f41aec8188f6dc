// Version folders, a project file and a build, in a few lines per test: the fixtures are real
// folders made on the spot, and the builder under test makes the containers.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "patchbuild/builder.h"
#include "support/temp_folder.h"

class PatchProject {
 public:
  explicit PatchProject(int versions);

  // Writes a file (relative name with '/') into version `v`'s folder.
  PatchProject& file(int v, const std::string& relative, const FileBytes& bytes);
  PatchProject& file(int v, const std::string& relative, const std::string& text);
  // The same file in every version from `from` to `to`.
  PatchProject& same(int from, int to, const std::string& relative, const FileBytes& bytes);
  PatchProject& same(int from, int to, const std::string& relative, const std::string& text);
  PatchProject& folder(int v, const std::string& relative);
  // Lines added to the project file: options, identification.
  PatchProject& extra(const std::string& toml);
  // The code page of names and texts (1252 unless set).
  PatchProject& codePage(int codePage);

  std::string versionFolder(int v) const;
  std::string projectPath() const;
  void writeProject() const;

  // Builds with the library; false with `error` as the builder says it.
  bool build(std::string& error, patchbuild::BuildSummary* summary = nullptr,
             const patchbuild::BuildSettings& settings = {});
  const std::vector<uint8_t>& container() const { return container_; }

  // A copy of version `v` as an install folder, new each call; returns its path.
  std::string install(int v);
  // Every file and folder below `path`, relative, with each file's bytes.
  static std::vector<std::pair<std::string, FileBytes>> contents(const std::string& path);

  TempFolder& root() { return root_; }

 private:
  int versions_;
  int codePage_ = 1252;
  std::string extra_;
  int installs_ = 0;
  TempFolder root_;
  std::vector<uint8_t> container_;
};

// Bytes with a deterministic pattern, different for each seed.
FileBytes patterned(size_t count, uint32_t seed);
// `bytes` with `insert` put in at `at`.
FileBytes spliced(FileBytes bytes, size_t at, const std::string& insert);
