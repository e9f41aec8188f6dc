// Builds the demo's patch from two versions of an installed program, with the writer library:
// deltas for changed files (from a simple block matcher), whole files for new ones, deletions,
// and folders made and removed; the files of both versions identify them.
//
//   make-sample-patch OLD_FOLDER NEW_FOLDER REGISTRY_PATH OUT.pat
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <unordered_map>

#include "patchdata/checksum.h"
#include "writer/container_writer.h"

namespace fs = std::filesystem;
using patchwriter::Bytes;

namespace {

struct Tree {
  std::set<std::string> files, folders;  // relative, '\' separated
};

Tree scan(const fs::path& root) {
  Tree tree;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    std::string name = fs::relative(entry.path(), root).generic_string();
    for (char& c : name)
      if (c == '/') c = '\\';
    (entry.is_directory() ? tree.folders : tree.files).insert(name);
  }
  return tree;
}

Bytes readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

fs::path onDisk(const fs::path& root, std::string name) {
  for (char& c : name)
    if (c == '\\') c = '/';
  return root / name;
}

uint32_t checksumOf(const Bytes& bytes) { return checksumUpdate(kChecksumStart, bytes.data(), bytes.size()); }

// Copies of every run of at least 16 bytes that the old file holds at a multiple of 16,
// extended both ways; literals for the rest. Enough for a demo; the patch builder does better.
patchwriter::DeltaCommands diff(const Bytes& oldFile, const Bytes& newFile) {
  constexpr size_t kBlock = 16;
  auto key = [](const uint8_t* at) { return std::string(reinterpret_cast<const char*>(at), kBlock); };
  std::unordered_map<std::string, size_t> blocks;
  for (size_t at = 0; at + kBlock <= oldFile.size(); at += kBlock) blocks.emplace(key(&oldFile[at]), at);

  patchwriter::DeltaCommands commands;
  size_t literalStart = 0, at = 0;
  while (at + kBlock <= newFile.size()) {
    auto found = blocks.find(key(&newFile[at]));
    if (found == blocks.end()) {
      at++;
      continue;
    }
    size_t from = found->second, to = at;
    while (to > literalStart && from > 0 && oldFile[from - 1] == newFile[to - 1]) from--, to--;
    size_t length = 0;
    while (to + length < newFile.size() && from + length < oldFile.size() && oldFile[from + length] == newFile[to + length])
      length++;
    if (to > literalStart) commands.literal(Bytes(newFile.begin() + literalStart, newFile.begin() + to));
    commands.copy(static_cast<uint32_t>(length), static_cast<uint32_t>(from));
    at = literalStart = to + length;
  }
  if (literalStart < newFile.size()) commands.literal(Bytes(newFile.begin() + literalStart, newFile.end()));
  return commands;
}

void addMessages(patchwriter::PayloadWriter& writer) {
  writer.message("T_MAINTITLE", "Sample Update")
      .message("T_Location", "Location:")
      .message("T_Browse", "Browse...")
      .message("T_Update", "Update")
      .message("T_PatchDone", "Done")
      .message("T_Cancel", "Cancel")
      .message("T_ANALYSING", "Please wait: checking the installed version of Sample...")
      .message("T_UPDATEREADY", "Press Update to bring it to version 1.1.")
      .message("T_MISSING", "Sample was not found. Press Browse... to choose its folder.")
      .message("T_DAMAGED", "An unknown or damaged version of Sample was found.")
      .message("T_NOSPACE", "There is not enough free disk space for the update.")
      .message("T_Applying", "Please wait: updating Sample...")
      .message("T_UPGRADED", "Sample was updated to version 1.1.")
      .message("T_FAILED", "Sample could not be updated.")
      .message("T_ErrorCode", "Error")
      .message("T_SELECTFOLDER", "Choose the folder where Sample is installed.")
      .message("T_IDENT0", "Sample 1.0 is installed.")
      .message("T_IDENT1", "Sample 1.1 is installed.");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: make-sample-patch OLD_FOLDER NEW_FOLDER REGISTRY_PATH OUT.pat\n");
    return 2;
  }
  fs::path oldRoot = argv[1], newRoot = argv[2];
  Tree oldTree = scan(oldRoot), newTree = scan(newRoot);

  patchwriter::PayloadWriter writer;
  writer.registryPath(argv[3]).versionCount(2);
  addMessages(writer);
  std::set<std::string> allFiles = oldTree.files;
  allFiles.insert(newTree.files.begin(), newTree.files.end());
  for (const std::string& name : allFiles) {
    uint32_t before = oldTree.files.count(name) ? checksumOf(readAll(onDisk(oldRoot, name))) : 0;
    uint32_t after = newTree.files.count(name) ? checksumOf(readAll(onDisk(newRoot, name))) : 0;
    writer.identFile(name, {before, after});
  }

  uint64_t work = 0;
  for (const std::string& folder : newTree.folders)  // sorted: parents first
    if (!oldTree.folders.count(folder)) writer.makeFolder(folder);
  for (const std::string& name : newTree.files) {
    Bytes newFile = readAll(onDisk(newRoot, name));
    if (!oldTree.files.count(name)) {
      writer.writeFile(name, newFile);
      work += newFile.size();
      std::printf("  write  %s (%zu bytes)\n", name.c_str(), newFile.size());
      continue;
    }
    Bytes oldFile = readAll(onDisk(oldRoot, name));
    if (oldFile == newFile) continue;
    patchwriter::DeltaCommands commands = diff(oldFile, newFile);
    patchwriter::DeltaRecord delta = patchwriter::makeDelta(patchwriter::kChainedDelta, 0, name, oldFile, commands);
    writer.delta(delta);
    work += patchwriter::deltaWork(delta);
    std::printf("  delta  %s (%zu bytes: %llu copied, %llu new)\n", name.c_str(), newFile.size(),
                static_cast<unsigned long long>(commands.copiedBytes()),
                static_cast<unsigned long long>(commands.literalBytes()));
  }
  for (const std::string& name : oldTree.files)
    if (!newTree.files.count(name)) {
      writer.deleteFile(name);
      std::printf("  delete %s\n", name.c_str());
    }
  for (auto folder = oldTree.folders.rbegin(); folder != oldTree.folders.rend(); ++folder)  // children first
    if (!newTree.folders.count(*folder)) writer.removeFolder(*folder);
  writer.workTotals({static_cast<uint32_t>(work)});

  Bytes container = patchwriter::makeContainer(writer.build());
  std::ofstream out(argv[4], std::ios::binary);
  out.write(reinterpret_cast<const char*>(container.data()), static_cast<std::streamsize>(container.size()));
  std::printf("  patch  %s: %zu bytes\n", argv[4], container.size());
  return out ? 0 : 1;
}
