// Finding the container: the module's resource first, then "patch.pat" in the current folder.
#include <gtest/gtest.h>

#include "patchdata/archive.h"
#include "platform/linux/standin.h"
#include "support/temp_folder.h"
#include "writer/container_writer.h"

namespace {

using patchwriter::Bytes;

class ArchiveLoad : public StandinTest {
 protected:
  Bytes payloadNamed(const std::string& registry) {
    return patchwriter::PayloadWriter().registryPath(registry).build();
  }
  std::string registryPathOf(const PatchArchive& archive) {
    return reinterpret_cast<const char*>(archive.payload + 4);
  }
};

TEST_F(ArchiveLoad, NoResourceAndNoFileIsNotFound) {
  PatchArchive archive;
  EXPECT_EQ(archive.load(), kLoadNotFound);
}

TEST_F(ArchiveLoad, FileInTheCurrentFolderIsLoaded) {
  scratch.write("patch.pat", patchwriter::makeContainer(payloadNamed("from file")));
  PatchArchive archive;
  ASSERT_EQ(archive.load(), kLoadOk);
  EXPECT_FALSE(archive.fromResource);
  EXPECT_EQ(registryPathOf(archive), "from file");
}

TEST_F(ArchiveLoad, ResourceWinsAndTheFileIsNeverOpened) {
  scratch.write("patch.pat", patchwriter::makeContainer(payloadNamed("from file")));
  standin::setModuleResource(patchwriter::makeContainer(payloadNamed("from resource")));
  PatchArchive archive;
  ASSERT_EQ(archive.load(), kLoadOk);
  EXPECT_TRUE(archive.fromResource);
  EXPECT_EQ(registryPathOf(archive), "from resource");
  EXPECT_EQ(standin::fileOpCount(standin::FileOp::Open), 0);
}

TEST_F(ArchiveLoad, ResourceFaultsGiveTheirCodes) {
  scratch.write("patch.pat", patchwriter::makeContainer(payloadNamed("from file")));
  struct Case {
    ResourceLookup lookup;
    int expected;
  };
  for (Case c : {Case{ResourceLookup::LoadFailed, kLoadResourceFailed},
                 Case{ResourceLookup::LockFailed, kLoadResourceLockFailed}}) {
    standin::setResourceLookup(c.lookup);
    PatchArchive archive;
    EXPECT_EQ(archive.load(), c.expected);
  }
}

TEST_F(ArchiveLoad, DamagedFileGivesTheContainerCodes) {
  Bytes container = patchwriter::makeContainer(payloadNamed("x"));
  container[0] ^= 1;
  scratch.write("patch.pat", container);
  PatchArchive archive;
  EXPECT_EQ(archive.load(), kLoadContainerChecksumWrong);

  scratch.write("patch.pat", Bytes{});
  PatchArchive empty;
  EXPECT_EQ(empty.load(), kLoadLengthsInconsistent);
}

}  // namespace
