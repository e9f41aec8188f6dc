#include "support/updater_fixture.h"

#include <ostream>

#include "engine/install_location.h"
#include "messages/message_table.h"
#include "platform/linux/standin.h"
#include "feedback/resource_ids.h"
#include "writer/container_writer.h"

const char* const kUpdateReadyText = "Press \"Update\" to upgrade.";
const char* const kMissingTextShown = "Example not found.";
const char* const kDamagedText = "Unknown/damaged version of Example found.";
const char* const kAnalysingText = "Please Wait : Analysing current version...";
const char* const kApplyingText = "Please Wait : Applying update...";
const char* const kUpgradedText = "Example successfully upgraded.";
const char* const kFailedText = "Error applying update.";

std::string identText(int version) { return "Example v" + std::to_string(version) + " is installed."; }

PayloadWriter& addStandardMessages(PayloadWriter& writer, int versionCount) {
  writer.message("t_maintitle", "Example Update")
      .message("t_analysing", kAnalysingText)
      .message("t_updateready", kUpdateReadyText)
      .message("t_missing", kMissingTextShown)
      .message("t_damaged", kDamagedText)
      .message("t_nospace", "Not enough hard-drive space.")
      .message("t_applying", kApplyingText)
      .message("t_upgraded", kUpgradedText)
      .message("t_failed", kFailedText)
      .message("t_selectfolder", "Select folder for Example.")
      .message("t_location", "Location:")
      .message("t_browse", "Browse...")
      .message("t_update", "Update")
      .message("t_patchdone", "Done")
      .message("t_cancel", "Cancel");
  for (int v = 0; v < versionCount; v++) writer.message("t_ident" + std::to_string(v), identText(v));
  return writer;
}

void UpdaterTest::SetUp() {
  StandinTest::SetUp();
  scratch.makeFolder("install");
}

void UpdaterTest::load(const Bytes& payload) {
  Bytes container = patchwriter::makeContainer(payload);
  ASSERT_EQ(archive.loadFromMemory(container.data(), container.size()), kLoadOk);
  delete[] state.messages;  // a test may load several payloads into one state record
  state.messages = nullptr;
  state.messageCount = 0;
  state.cursor = PayloadCursor(archive.payload + 4, archive.payload + archive.payloadSize);
  copyRegistryPath(state);
  readMessageTable(state);
  state.dialog = standin::dialogWindow();
  state.versionSection = state.cursor;
}

void UpdaterTest::useInstallFolder() { copyText(state.installFolder, kPathCapacity, installPath().c_str()); }

std::string UpdaterTest::statusLine() const { return standin::controlText(IDC_STATUS); }
std::string UpdaterTest::updateCaption() const { return standin::controlText(IDC_UPDATE); }

UpdaterTest::Buttons UpdaterTest::buttons() const {
  return {standin::controlEnabled(IDC_UPDATE), standin::controlEnabled(IDC_BROWSE),
          standin::controlEnabled(IDC_CANCEL)};
}

std::vector<int> UpdaterTest::newPositions() {
  std::vector<int> all = standin::progressPositions(IDC_PROGRESS);
  std::vector<int> fresh(all.begin() + static_cast<long>(positionsSeen_), all.end());
  positionsSeen_ = all.size();
  return fresh;
}

std::ostream& operator<<(std::ostream& out, const UpdaterTest::Buttons& buttons) {
  return out << "{update " << buttons.update << ", browse " << buttons.browse << ", cancel "
             << buttons.cancel << "}";
}
