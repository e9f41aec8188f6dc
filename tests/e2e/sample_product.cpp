#include "sample_product.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "driver/host_files.h"
#include "patchdata/checksum.h"

namespace sample {

const char* const kTitle = "Sample Update";
const char* const kLocation = "Location:";
const char* const kBrowse = "Browse...";
const char* const kUpdate = "Update";
const char* const kDone = "Done";
const char* const kCancel = "Cancel";
const char* const kAnalysing = "Please wait: checking the installed version...";
const char* const kUpdateReady = "Press Update to bring it up to date.";
const char* const kMissing = "Sample was not found. Press Browse... to choose its folder.";
const char* const kDamaged = "An unknown or damaged version of Sample was found.";
const char* const kApplying = "Please wait: updating Sample...";
const char* const kUpgraded = "Sample was updated successfully.";
const char* const kSelectFolder = "Choose the folder where Sample is installed.";
const char* const kFailed = "Sample could not be updated.";
const char* const kErrorCode = "Error";

std::string identText(int version) { return "Sample 1." + std::to_string(version) + " is installed."; }
std::string readyText(int version) { return identText(version) + " " + kUpdateReady; }
std::string failureLine(int code) {
  return std::string(kFailed) + " (" + kErrorCode + " " + std::to_string(800 + code) + ")";
}

patchwriter::PayloadWriter& addMessages(patchwriter::PayloadWriter& writer, int versionCount) {
  writer.message("T_MainTitle", kTitle)
      .message("T_Location", kLocation)
      .message("T_Browse", kBrowse)
      .message("T_Update", kUpdate)
      .message("T_PatchDone", kDone)
      .message("T_Cancel", kCancel)
      .message("T_ANALYSING", kAnalysing)
      .message("T_UPDATEREADY", kUpdateReady)
      .message("t_missing", kMissing)
      .message("T_DAMAGED", kDamaged)
      .message("T_NOSPACE", "There is not enough free disk space for the update.")
      .message("T_Applying", kApplying)
      .message("T_UPGRADED", kUpgraded)
      .message("T_FAILED", kFailed)
      .message("T_ErrorCode", kErrorCode)
      .message("T_SELECTFOLDER", kSelectFolder);
  for (int v = 0; v < versionCount; v++) writer.message("T_IDENT" + std::to_string(v), identText(v));
  return writer;
}

std::vector<std::string> Release::tree() const {
  std::set<std::string> entries;
  auto addFolders = [&](const std::string& name) {
    for (size_t slash = name.find('\\'); slash != std::string::npos; slash = name.find('\\', slash + 1))
      entries.insert(name.substr(0, slash + 1));
  };
  for (const auto& [name, bytes] : files) {
    entries.insert(name);
    addFolders(name);
  }
  for (const std::string& folder : emptyFolders) {
    entries.insert(folder + "\\");
    addFolders(folder);
  }
  return {entries.begin(), entries.end()};
}

SampleUpdate makeSampleUpdate() {
  using patchwriter::Bytes;
  using patchwriter::DeltaCommands;
  SampleUpdate update;
  Bytes exe0 = randomBytes(300000, 1);
  Bytes levels0 = randomBytes(65536, 2);
  update.v0.files = {{"Sample.exe", exe0},
                     {"Data\\levels.dat", levels0},
                     {"Data\\intro.txt", textBytes("Welcome to Sample.\r\n")},
                     {"Readme.txt", textBytes("Sample 1.0\r\n")},
                     {"Old.txt", textBytes("Notes that 1.1 no longer ships.\r\n")}};
  update.v0.emptyFolders = {"Unused"};

  DeltaCommands exeCommands;
  exeCommands.copy(100000, 0).literal(randomBytes(5000, 3)).copy(150000, 120000).literal("1.1").copy(30000, 270000);
  DeltaCommands levelsCommands;
  levelsCommands.copy(32768, 32768).copy(32768, 0).literal("level 11");
  auto exeDelta = patchwriter::makeDelta(patchwriter::kChainedDelta, 0, "Sample.exe", exe0, exeCommands);
  auto levelsDelta = patchwriter::makeDelta(patchwriter::kChainedDelta, 0, "Data\\levels.dat", levels0, levelsCommands);
  Bytes readme1 = textBytes("Sample 1.1\r\nNew: maps.\r\n");
  Bytes map1 = randomBytes(4096, 4);

  update.v1.files = {{"Sample.exe", exeCommands.apply(exe0)},
                     {"Data\\levels.dat", levelsCommands.apply(levels0)},
                     {"Data\\welcome.txt", update.v0.files["Data\\intro.txt"]},
                     {"Readme.txt", readme1},
                     {"Maps\\first.map", map1}};

  uint64_t work = patchwriter::deltaWork(exeDelta) + patchwriter::deltaWork(levelsDelta) + readme1.size() + map1.size();
  addMessages(update.writer, 2)
      .versionCount(2)
      .workTotals({static_cast<uint32_t>(work)})
      .identFile("Sample.exe", {checksumOf(exe0), checksumOf(update.v1.files["Sample.exe"])})
      .identFile("Data\\levels.dat", {checksumOf(levels0), checksumOf(update.v1.files["Data\\levels.dat"])})
      .makeFolder("Maps")
      .delta(exeDelta)
      .delta(levelsDelta)
      .writeFile("Readme.txt", readme1)
      .writeFile("Maps\\first.map", map1)
      .rename("Data\\intro.txt", "Data\\welcome.txt")
      .deleteFile("Old.txt")
      .removeFolder("Unused");
  return update;
}

void install(const Release& release, const std::string& folder) {
  std::filesystem::create_directories(folder);
  for (const auto& [name, bytes] : release.files) writeBytes(folder + "\\" + name, bytes);
  for (const std::string& empty : release.emptyFolders) std::filesystem::create_directories(folder + "\\" + empty);
}

uint32_t checksumOf(const patchwriter::Bytes& bytes) {
  return checksumUpdate(kChecksumStart, bytes.data(), bytes.size());
}

patchwriter::Bytes textBytes(const std::string& text) { return patchwriter::Bytes(text.begin(), text.end()); }

patchwriter::Bytes randomBytes(size_t count, uint32_t seed) {
  patchwriter::Bytes bytes(count);
  uint32_t x = seed * 2654435761u + 1;
  for (uint8_t& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x >> 24);
  }
  return bytes;
}

}  // namespace sample
