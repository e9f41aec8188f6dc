#include "sample_product.h"

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
