// Embedding the container as the updater's PATCHDATA resource: every other resource kept, the
// image still well formed, and (64-bit, under Wine) the resource loading as the updater loads it.
#include <gtest/gtest.h>

#include <cstdio>

#include "patchbuild/folder_scan.h"
#include "patchbuild/output_file.h"
#include "patchbuild/pe_resource.h"
#include "patchdata/checksum.h"
#include "support/temp_folder.h"
#include "support/wine_run.h"
#include "writer/container_writer.h"

#ifdef TEMPLATES_DIR

namespace {

using Bytes = std::vector<uint8_t>;

Bytes templateImage(const std::string& name) {
  Bytes image;
  EXPECT_TRUE(patchbuild::readWholeFile(std::string(TEMPLATES_DIR) + "/" + name, image)) << name;
  return image;
}

Bytes sampleContainer(uint32_t seed) {
  patchwriter::PayloadWriter writer;
  writer.registryPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\Test").message("T_MAINTITLE", "Test " + std::to_string(seed));
  writer.writeFile("readme.txt", randomBytes(3000 + seed, seed));
  return patchwriter::makeContainer(writer.build());
}

uint32_t u32At(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24; }

// Offsets of the optional header's fields that tests look at.
struct Layout {
  size_t optional, checksum, directories, sectionTable, sizeOfHeaders;
  uint16_t sections;
};
Layout layoutOf(const Bytes& b) {
  size_t pe = u32At(b, 0x3C);
  Layout layout;
  layout.optional = pe + 24;
  bool plus = (b[layout.optional] | b[layout.optional + 1] << 8) == 0x20B;
  layout.checksum = layout.optional + 64;
  layout.sizeOfHeaders = layout.optional + 60;
  layout.directories = layout.optional + (plus ? 112 : 96);
  layout.sectionTable = layout.optional + (b[pe + 20] | b[pe + 21] << 8);
  layout.sections = static_cast<uint16_t>(b[pe + 6] | b[pe + 7] << 8);
  return layout;
}

const char* kTemplates[] = {"reader32.exe", "reader32_rc.exe", "reader64.exe", "reader64_rc.exe"};

TEST(PeResource, AddsOrReplacesPatchDataAndKeepsEveryOtherResource) {
  for (const char* name : kTemplates) {
    SCOPED_TRACE(name);
    Bytes image = templateImage(name), result, again;
    std::vector<patchbuild::PeResource> before, after;
    patchbuild::RewriteNotes notes;
    std::string error;
    ASSERT_TRUE(patchbuild::listResources(image, before, error)) << error;
    Bytes container = sampleContainer(1);
    ASSERT_TRUE(patchbuild::embedPatchResource(image, container, result, notes, error)) << error;
    EXPECT_FALSE(notes.droppedSignature);
    ASSERT_TRUE(patchbuild::listResources(result, after, error)) << error;
    int patchData = 0;
    for (const auto& resource : after) {
      if (resource.type == "#10" && resource.name == "PATCHDATA") {
        patchData++;
        EXPECT_EQ(resource.data, container);
      }
    }
    EXPECT_EQ(patchData, 1);
    for (const auto& old : before) {
      if (old.name == "PATCHDATA") continue;
      bool kept = false;
      for (const auto& resource : after)
        kept = kept || (resource.type == old.type && resource.name == old.name && resource.data == old.data);
      EXPECT_TRUE(kept) << old.type << "/" << old.name;
    }
    Layout layout = layoutOf(result);
    EXPECT_EQ(u32At(result, layout.checksum), patchbuild::peChecksum(result));
    // Replacing it again (the resource section is now the last one and is rewritten in place).
    Bytes second = sampleContainer(2);
    ASSERT_TRUE(patchbuild::embedPatchResource(result, second, again, notes, error)) << error;
    Bytes found;
    ASSERT_TRUE(patchbuild::findPatchResource(again, found, error)) << error;
    EXPECT_EQ(found, second);
    EXPECT_EQ(layoutOf(again).sections, layout.sections);
    EXPECT_LT(again.size(), result.size() + second.size());
  }
}

TEST(PeResource, ACertificateTableIsDropped) {
  Bytes image = templateImage("reader64_rc.exe"), result;
  Layout layout = layoutOf(image);
  uint32_t at = static_cast<uint32_t>(image.size());
  Bytes certificate = {16, 0, 0, 0, 0, 2, 2, 0, 'S', 'I', 'G', 'N', 'A', 'T', 'U', 'R'};
  image.insert(image.end(), certificate.begin(), certificate.end());
  patchwriter::writeU32(image, layout.directories + 8 * 4, at);
  patchwriter::writeU32(image, layout.directories + 8 * 4 + 4, static_cast<uint32_t>(certificate.size()));
  std::string error;
  patchbuild::RewriteNotes notes;
  ASSERT_TRUE(patchbuild::embedPatchResource(image, sampleContainer(3), result, notes, error)) << error;
  EXPECT_TRUE(notes.droppedSignature);
  EXPECT_EQ(u32At(result, layout.directories + 8 * 4), 0u);
  EXPECT_EQ(u32At(result, layout.directories + 8 * 4 + 4), 0u);
  EXPECT_EQ(std::search(result.begin(), result.end(), certificate.begin() + 8, certificate.end()), result.end());
}

TEST(PeResource, AFullSectionHeaderAreaIsAClearError) {
  Bytes image = templateImage("reader64.exe"), result;
  Layout layout = layoutOf(image);
  // Headers that end exactly after the last section header: no room for another.
  patchwriter::writeU32(image, layout.sizeOfHeaders, static_cast<uint32_t>(layout.sectionTable + 40 * layout.sections));
  std::string error;
  patchbuild::RewriteNotes notes;
  EXPECT_FALSE(patchbuild::embedPatchResource(image, sampleContainer(4), result, notes, error));
  EXPECT_NE(error.find("section-header area is full"), std::string::npos) << error;
}

TEST(PeResource, ACutOffTemplateIsAClearError) {
  // Written on, a cut-off image would put the new resources over the end of its last section.
  for (const char* name : {"reader32_rc.exe", "reader64.exe"}) {
    SCOPED_TRACE(name);
    Bytes image = templateImage(name), result;
    image.resize(image.size() / 2);
    std::string error;
    patchbuild::RewriteNotes notes;
    EXPECT_FALSE(patchbuild::embedPatchResource(image, sampleContainer(7), result, notes, error));
    EXPECT_NE(error.find("runs past the end of the file"), std::string::npos) << error;
  }
}

TEST(PeResource, OnlyExecutablesAreAccepted) {
  Bytes result;
  std::string error;
  patchbuild::RewriteNotes notes;
  EXPECT_FALSE(patchbuild::embedPatchResource(Bytes{'n', 'o', 't'}, sampleContainer(5), result, notes, error));
  EXPECT_NE(error.find("not a Windows executable"), std::string::npos) << error;
}

TEST(PeResourceWine, TheEmbeddedContainerLoadsAsTheUpdaterLoadsIt) {
  TempFolder folder;
  for (const char* name : {"reader64.exe", "reader64_rc.exe"}) {
    SCOPED_TRACE(name);
    Bytes container = sampleContainer(6), result;
    std::string error;
    patchbuild::RewriteNotes notes;
    ASSERT_TRUE(patchbuild::embedPatchResource(templateImage(name), container, result, notes, error)) << error;
    std::string exe = folder.at(std::string("update-") + name);
    ASSERT_TRUE(patchbuild::writeFileAtomically(exe, result, error, true)) << error;
    std::string why, out;
    if (!wineCanRun(why)) GTEST_SKIP() << why;
    ASSERT_TRUE(runUnderWine(exe, "", folder.path(), out)) << out;
    char expected[64];
    std::snprintf(expected, sizeof expected, "%08x %zu\n",
                  checksumUpdate(kChecksumStart, container.data(), container.size()), container.size());
    EXPECT_EQ(out.substr(0, out.find('\n') + 1), expected) << out;
    if (std::string(name).find("_rc") != std::string::npos)
      EXPECT_NE(out.find("OTHERDATA 23"), std::string::npos) << out;
  }
}

}  // namespace

#endif  // TEMPLATES_DIR
