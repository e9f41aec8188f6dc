// The product the end-to-end tests update: its texts, as a vendor's message table carries
// them, and payloads for it built with the writer library.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "writer/payload_writer.h"

namespace sample {

extern const char* const kTitle;
extern const char* const kLocation;
extern const char* const kBrowse;
extern const char* const kUpdate;
extern const char* const kDone;
extern const char* const kCancel;
extern const char* const kAnalysing;
extern const char* const kUpdateReady;
extern const char* const kMissing;
extern const char* const kDamaged;
extern const char* const kApplying;
extern const char* const kUpgraded;
extern const char* const kSelectFolder;
std::string identText(int version);                 // "Sample 1.<version> is installed."
std::string readyText(int version);                 // the version text, a blank, kUpdateReady
std::string failureLine(int code);                  // the failure text with the shown error number

// The message table for `versionCount` versions; keys in mixed case, as vendors write them.
patchwriter::PayloadWriter& addMessages(patchwriter::PayloadWriter& writer, int versionCount);

// One version of the installed program: files by relative name, and empty folders.
struct Release {
  std::map<std::string, patchwriter::Bytes> files;
  std::vector<std::string> emptyFolders;
  // Every file and folder, as listTree() shows an installation of it.
  std::vector<std::string> tree() const;
};

// Versions 1.0 and 1.1 of the sample program and the patch between them, which uses every
// kind of record: deltas (one of a read-only file), whole-file writes, a rename, a deletion,
// a folder made and one removed. Identified by "Sample.exe" and "Data\levels.dat".
struct SampleUpdate {
  Release v0, v1;
  patchwriter::PayloadWriter writer;  // registry path unset; tests add theirs
};
SampleUpdate makeSampleUpdate();

// Writes the release's files and folders below `folder`.
void install(const Release& release, const std::string& folder);

uint32_t checksumOf(const patchwriter::Bytes& bytes);
patchwriter::Bytes textBytes(const std::string& text);
patchwriter::Bytes randomBytes(size_t count, uint32_t seed);

}  // namespace sample
