// A loaded patch, a state record wired to the stand-in's dialog and an install folder in the
// scratch folder: what the engines and the dialog find after start-up.
#pragma once
#include <string>
#include <vector>

#include "state/patch_state.h"
#include "patchdata/archive.h"
#include "support/temp_folder.h"
#include "writer/payload_writer.h"

using patchwriter::Bytes;
using patchwriter::DeltaCommands;
using patchwriter::PayloadWriter;

// The texts every fixture payload carries, keyed in lower case as a real table might be.
PayloadWriter& addStandardMessages(PayloadWriter& writer, int versionCount);
std::string identText(int version);  // "Example v<version> is installed."
extern const char* const kUpdateReadyText;
extern const char* const kMissingTextShown;
extern const char* const kDamagedText;
extern const char* const kAnalysingText;
extern const char* const kApplyingText;
extern const char* const kUpgradedText;
extern const char* const kFailedText;

class UpdaterTest : public StandinTest {
 public:
  struct Buttons {
    bool update, browse, cancel;
    bool operator==(const Buttons&) const = default;
  };

 public:
  void SetUp() override;

  // Loads `payload` as start-up would: container checks, cursor after the checksum, registry
  // path and message table read, the dialog wired, the version section remembered.
  void load(const Bytes& payload);
  // The install folder: "<scratch>/install", created.
  std::string installPath() const { return scratch.at("install"); }
  void useInstallFolder();
  std::string installed(const std::string& relative) const { return "install/" + relative; }

  std::string statusLine() const;
  std::string updateCaption() const;
  Buttons buttons() const;
  // Progress positions sent since the last call.
  std::vector<int> newPositions();

  PatchState state;
  PatchArchive archive;

 private:
  size_t positionsSeen_ = 0;
};

std::ostream& operator<<(std::ostream& out, const UpdaterTest::Buttons& buttons);
