// The product the end-to-end tests update: its texts, as a vendor's message table carries
// them, and payloads for it built with the writer library.
#pragma once
#include <string>

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

uint32_t checksumOf(const patchwriter::Bytes& bytes);
patchwriter::Bytes textBytes(const std::string& text);
patchwriter::Bytes randomBytes(size_t count, uint32_t seed);

}  // namespace sample
