#include "scratch_install.h"

#include <filesystem>

#include "patchdata/checksum.h"
#include "platform/files.h"
#include "platform/linux/standin.h"
#include "writer/fixture_bytes.h"
#include "writer/payload_writer.h"

namespace fuzzing {
namespace {

namespace fs = std::filesystem;
using patchwriter::DeltaCommands;
using patchwriter::PayloadWriter;
using patchwriter::randomBytes;

Bytes text(const std::string& s) { return patchwriter::textBytes(s); }

uint32_t checksumOf(const Bytes& bytes) { return checksumUpdate(kChecksumStart, bytes.data(), bytes.size()); }

const Bytes& fileContent(const std::string& name) {
  for (const ScratchFile& file : scratchFiles())
    if (file.name == name) return file.content;
  static const Bytes none;
  return none;
}

// Creates `folder` and every missing folder above it, one level at a time, as the platform
// makes them; the folders that exist already refuse, harmlessly.
void makeFolders(const std::string& folder) {
  for (size_t at = folder.find_first_of("/\\", 1); at != std::string::npos; at = folder.find_first_of("/\\", at + 1))
    createFolder(folder.substr(0, at).c_str());
  createFolder(folder.c_str());
}

void putFile(const std::string& path, const Bytes& content) {
  if (PlatformFile* out = createWrite(path.c_str())) {
    if (!content.empty()) writeFile(out, content.data(), content.size());
    closeFile(out);
  }
}

patchwriter::DeltaRecord delta(const std::string& name, const DeltaCommands& commands, int16_t version = 0,
                               patchwriter::OpType type = patchwriter::kChainedDelta) {
  return patchwriter::makeDelta(type, version, name, fileContent(name), commands);
}

// Two versions told apart by "id.txt"; the writer fills in every count.
PayloadWriter twoVersions() {
  PayloadWriter writer;
  writer.registryPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\Path")
      .message("T_IDENT0", "v0")
      .message("T_IDENT1", "v1")
      .message("T_UPDATEREADY", "ready")
      .versionCount(2)
      .workTotals({100000})
      .identFile("id.txt", {checksumOf(fileContent("id.txt")), checksumOf(text("identity 1"))});
  return writer;
}

}  // namespace

const std::vector<ScratchFile>& scratchFiles() {
  static const std::vector<ScratchFile> files = {
      {"id.txt", text("identity 0")},
      {"app.exe", randomBytes(1500, 1)},
      {"data\\main.pak", randomBytes(3000, 2)},
      {"lib.dll", randomBytes(700, 3), true},
      {"readme.txt", text("read me")},
      {"old.dll", text("obsolete")},
      {"ab", text("short name")},
      {"cache.tmp", text("own temporary path")},
  };
  return files;
}

const std::vector<std::string>& scratchFolders() {
  static const std::vector<std::string> folders = {"data\\gone", "data\\full"};
  return folders;
}

void resetScratchInstall(const std::string& folder) {
  standin::reset();
  std::error_code ignored;
  if (fs::exists(folder, ignored)) fs::remove_all(folder, ignored);  // real files only
  makeFolders(folder);
  for (const std::string& name : scratchFolders()) {
    for (size_t at = name.find('\\'); at != std::string::npos; at = name.find('\\', at + 1))
      createFolder((folder + "\\" + name.substr(0, at)).c_str());
    createFolder((folder + "\\" + name).c_str());
  }
  for (const ScratchFile& file : scratchFiles()) {
    std::string path = folder + "\\" + file.name;
    putFile(path, file.content);
    if (file.readOnly) standin::setReadOnly(path, true);
  }
  putFile(folder + "\\data\\full\\file", {});
}

std::vector<Bytes> seedPayloads() {
  std::vector<Bytes> seeds;
  DeltaCommands appCommands;
  appCommands.copy(1000, 400).literal("patched").copy(0, 5).literal("").copy(300, 0);
  DeltaCommands pakCommands;
  pakCommands.literal(randomBytes(40, 4)).copy(2900, 100).copy(100, 0);

  // The whole range of records in the order an update is built in.
  seeds.push_back(twoVersions()
                      .makeFolder("data\\extra")
                      .delta(delta("app.exe", appCommands))
                      .delta(delta("data\\main.pak", pakCommands))
                      .delta(delta("lib.dll", DeltaCommands().copy(350, 350).copy(350, 0)))
                      .writeFile("data\\extra\\new.txt", text("new file"))
                      .deleteFile("old.dll")
                      .rename("readme.txt", "readme.htm")
                      .removeFolder("data\\gone")
                      .removeFolder("data\\full")
                      .rawOp(0, Bytes{1, 2, 3})
                      .rawOp(200, Bytes{})
                      .delta(delta("id.txt", DeltaCommands().copy(9, 0).literal("1")))
                      .build());

  // The version filter: three versions, chained and exact deltas of several versions.
  PayloadWriter three;
  three.versionCount(3).workTotals({1, 2}).identFile("id.txt", {0, checksumOf(fileContent("id.txt")), 7});
  three.delta(delta("app.exe", appCommands, 0))
      .delta(delta("app.exe", appCommands, 1, patchwriter::kExactDelta))
      .delta(delta("data\\main.pak", pakCommands, 2))
      .delta(delta("lib.dll", DeltaCommands().literal("x"), -1, patchwriter::kExactDelta));
  seeds.push_back(three.build());

  // Records that fail or are refused: a copy past the end, a wrong result, unsafe names, a
  // target that is its own temporary file, a name too short for a temporary path beside it.
  patchwriter::DeltaRecord wrongResult = delta("app.exe", appCommands);
  wrongResult.newChecksum ^= 1;
  seeds.push_back(twoVersions().delta(delta("app.exe", DeltaCommands().copy(100, 1450))).build());
  seeds.push_back(twoVersions().delta(wrongResult).build());
  seeds.push_back(twoVersions().delta(delta("cache.tmp", DeltaCommands().literal("x"))).build());
  seeds.push_back(twoVersions().delta(delta("ab", DeltaCommands().copy(5, 0))).build());
  seeds.push_back(twoVersions()
                      .writeFile("..\\outside.txt", text("x"))
                      .build());
  seeds.push_back(twoVersions().rename("app.exe", "..\\stolen.exe").deleteFile("C:app.exe").build());
  seeds.push_back(twoVersions().writeFile("lib.dll", randomBytes(300, 5)).writeFile("no\\folder.txt", text("x")).build());

  // Broken structure: counts larger than their entries, a literal past its record.
  patchwriter::DeltaRecord broken = delta("app.exe", DeltaCommands().raw({5, 0, 0, 0x80, 'a'}));
  seeds.push_back(twoVersions().delta(broken).build());
  seeds.push_back(twoVersions().forceOpCount(3).writeFile("a.txt", text("a")).build());
  seeds.push_back(PayloadWriter().build());  // the smallest payload
  return seeds;
}

}  // namespace fuzzing
