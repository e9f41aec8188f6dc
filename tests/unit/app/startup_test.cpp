#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "messages/message_table.h"
#include "platform/linux/standin.h"
#include "support/updater_fixture.h"
#include "writer/container_writer.h"

namespace {

const std::string kKey = "SOFTWARE\\Example";

class Startup : public UpdaterTest {
 public:
  Bytes goodPayload() {
    PayloadWriter writer;
    writer.registryPath("HKEY_LOCAL_MACHINE\\" + kKey + "\\Path");
    return addStandardMessages(writer, 2).versionCount(2).workTotals({1}).build();
  }
  bool start(int& exitCode) { return startUp(state, archive, exitCode); }
  void expectOneBox(const std::string& text) {
    ASSERT_EQ(standin::messageBoxes().size(), 1u);
    EXPECT_EQ(standin::messageBoxes()[0].text, text);
    EXPECT_EQ(standin::messageBoxes()[0].caption, "Patch Utility");
    EXPECT_EQ(standin::messageBoxes()[0].flags, 0x10u);
  }
};

TEST_F(Startup, GoodPatchReadsTheHeadAndGoesOnToTheDialog) {
  scratch.write("patch.pat", patchwriter::makeContainer(goodPayload()));
  standin::setRegistryString(RegistryRoot::LocalMachine, kKey, "Path", installPath());
  int exitCode = -1;
  EXPECT_TRUE(start(exitCode));
  EXPECT_EQ(standin::progressControlInitCount(), 1);
  EXPECT_STREQ(state.registryPath, ("HKEY_LOCAL_MACHINE\\" + kKey + "\\Path").c_str());
  EXPECT_STREQ(lookupText(state, "T_MAINTITLE"), "Example Update");
  EXPECT_EQ(std::string(state.installFolder), installPath());
  EXPECT_EQ(state.cursor.readI32(), 2) << "the cursor waits on the version section";
  EXPECT_TRUE(standin::messageBoxes().empty());
}

TEST_F(Startup, MissingRegistryValueStillOpensTheDialog) {
  scratch.write("patch.pat", patchwriter::makeContainer(goodPayload()));
  int exitCode = -1;
  EXPECT_TRUE(start(exitCode));
  EXPECT_STREQ(state.installFolder, "");
}

TEST_F(Startup, SecondInstanceLeavesSilently) {
  standin::setOtherInstanceRunning(true);
  int exitCode = -1;
  EXPECT_FALSE(start(exitCode));
  EXPECT_EQ(exitCode, 0);
  EXPECT_TRUE(standin::messageBoxes().empty());
  EXPECT_EQ(standin::mutexCloseCount(), 1);
  EXPECT_EQ(standin::fileOpCount(), 0) << "the patch is not even looked for";
}

TEST_F(Startup, UnusablePatchesEndWithTheirBox) {
  struct Case {
    const char* name;
    void (*arrange)(Startup&);
    const char* box;
  };
  const Case kCases[] = {
      {"no container", [](Startup&) {}, "Unable to load patch data."},
      {"wrong container checksum",
       [](Startup& t) {
         Bytes container = patchwriter::makeContainer(t.goodPayload());
         container[1] ^= 4;
         t.scratch.write("patch.pat", container);
       },
       "Patch Utility corrupted. [Error code 405]"},
      {"resource cannot be locked", [](Startup&) { standin::setResourceLookup(ResourceLookup::LockFailed); },
       "Patch Utility corrupted. [Error code 403]"},
      {"payload broken inside",
       [](Startup& t) {
         t.scratch.write("patch.pat", patchwriter::makeContainer(PayloadWriter().forceOpCount(3).build()));
       },
       "Patch Utility corrupted. [Error code 410]"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    standin::reset();
    std::filesystem::remove(scratch.at("patch.pat"));
    c.arrange(*this);
    int exitCode = -1;
    EXPECT_FALSE(start(exitCode));
    EXPECT_EQ(exitCode, 1);
    expectOneBox(c.box);
    EXPECT_EQ(standin::mutexCloseCount(), 1);
  }
}

TEST_F(Startup, TooLittleFreeSpaceEndsWithTheTablesBox) {
  scratch.write("patch.pat", patchwriter::makeContainer(goodPayload()));
  standin::setRegistryString(RegistryRoot::LocalMachine, kKey, "Path", installPath());
  standin::overrideFreeSpace(1024);
  int exitCode = -1;
  EXPECT_FALSE(start(exitCode));
  EXPECT_EQ(exitCode, 1);
  ASSERT_EQ(standin::messageBoxes().size(), 1u);
  EXPECT_EQ(standin::messageBoxes()[0].caption, "Example Update");
  EXPECT_EQ(standin::mutexCloseCount(), 1);
}

}  // namespace
