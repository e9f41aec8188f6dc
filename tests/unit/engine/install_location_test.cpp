#include "engine/install_location.h"

#include <gtest/gtest.h>

#include "platform/linux/standin.h"
#include "support/updater_fixture.h"

namespace {

constexpr uint32_t kExpandString = 2;  // REG_EXPAND_SZ
const std::string kKey = "SOFTWARE\\Example\\App Paths\\example.exe";

class InstallLocation : public UpdaterTest {
 protected:
  void loadWithRegistryPath(const std::string& path) {
    PayloadWriter writer;
    writer.registryPath(path);
    addStandardMessages(writer, 2);
    load(writer.build());
  }
};

TEST_F(InstallLocation, ReadsOnlyReadableStringValuesAtWellFormedPaths) {
  standin::setRegistryString(RegistryRoot::LocalMachine, kKey, "Path", "C:\\Games\\Example");
  standin::setRegistryString(RegistryRoot::LocalMachine, kKey, "", "default value");
  standin::setRegistryString(RegistryRoot::CurrentUser, "", "Path", "directly under the root");
  standin::setRegistryValue(RegistryRoot::LocalMachine, kKey, "Expand", kExpandString,
                            std::string("C:\\Games\0", 9));
  standin::setRegistryString(RegistryRoot::Users, "S-1\\Software", "Path", "users");
  struct Case {
    const char* path;
    const char* expected;  // null: not found
  };
  const Case kCases[] = {
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\App Paths\\example.exe\\Path", "C:\\Games\\Example"},
      {"hkey_local_machine\\software\\example\\app paths\\EXAMPLE.EXE\\path", "C:\\Games\\Example"},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\App Paths\\example.exe\\", "default value"},
      {"HKEY_USERS\\S-1\\Software\\Path", "users"},
      {"HKEY_CURRENT_USER\\Path", nullptr},
      {"HKLM\\SOFTWARE\\Example\\App Paths\\example.exe\\Path", nullptr},
      {"HKEY_LOCAL_MACHINE", nullptr},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\App Paths\\example.exe\\Missing", nullptr},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Absent\\Path", nullptr},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\App Paths\\example.exe\\Expand", nullptr},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    char buffer[512] = {};
    std::string path = c.path;
    bool found = readRegistryString(path.c_str(), buffer, 511);
    EXPECT_EQ(found, c.expected != nullptr);
    if (c.expected) EXPECT_STREQ(buffer, c.expected);
    EXPECT_EQ(path, c.path) << "the caller's path is not altered";
  }
}

TEST_F(InstallLocation, ValueNamesAreCutAtABackslashCharacterNotAtASecondByte) {
  // "\x83\x5C" is one character in code page 932 (a katakana), whose second byte is '\\'.
  const std::string katakana = "\x83\x5C";
  standin::setRegistryString(RegistryRoot::LocalMachine, kKey, katakana, "C:\\Games\\Japanese");
  standin::setRegistryString(RegistryRoot::LocalMachine, kKey + "\\\x83", "", "a key cut in half");
  struct Case {
    unsigned codePage;
    const char* expected;
  };
  const Case kCases[] = {{932, "C:\\Games\\Japanese"}, {1252, "a key cut in half"}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.codePage);
    standin::setCodePage(c.codePage);
    char buffer[512] = {};
    const std::string path = "HKEY_LOCAL_MACHINE\\" + kKey + "\\" + katakana;
    ASSERT_TRUE(readRegistryString(path.c_str(), buffer, 511));
    EXPECT_STREQ(buffer, c.expected);
  }
}

TEST_F(InstallLocation, ValuesUpTo511BytesAreReadAndAlwaysTerminated) {
  const std::string path = "HKEY_LOCAL_MACHINE\\" + kKey + "\\Path";
  struct Case {
    const char* name;
    std::string stored;
    const char* expected;
  };
  const Case kCases[] = {
      {"510 characters with terminator", std::string(510, 'a') + '\0', "read"},
      {"511 characters with terminator", std::string(511, 'b') + '\0', nullptr},
      {"511 characters without terminator", std::string(511, 'c'), "read"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    loadWithRegistryPath(path);
    standin::setRegistryValue(RegistryRoot::LocalMachine, kKey, "Path", kRegistryTypeString, c.stored);
    const char* value = lookupInstallFolder(state);
    ASSERT_EQ(value != nullptr, c.expected != nullptr);
    if (value) EXPECT_EQ(std::string(value), c.stored.substr(0, c.stored.find('\0')));
  }
}

// A 64-bit product's installer writes its entry where the 32-bit updater does not look first.
TEST_F(InstallLocation, OtherRegistryViewIsAskedOnlyWhenTheOwnViewFails) {
  struct Stored {
    RegistryView view;
    uint32_t type;
    std::string data;
  };
  struct Case {
    const char* name;
    std::vector<Stored> stored;
    const char* expected;  // null: not found
    int opens;
  };
  const std::string own = std::string("C:\\Own view") + '\0', other = std::string("D:\\Other view") + '\0';
  const Case kCases[] = {
      {"only in the own view", {{RegistryView::Own, kRegistryTypeString, own}}, "C:\\Own view", 1},
      {"only in the other view", {{RegistryView::Other, kRegistryTypeString, other}}, "D:\\Other view", 2},
      {"in both: the own view wins",
       {{RegistryView::Own, kRegistryTypeString, own}, {RegistryView::Other, kRegistryTypeString, other}},
       "C:\\Own view", 1},
      {"in neither", {}, nullptr, 2},
      {"own of another type, other stored without terminator after it",
       {{RegistryView::Own, kExpandString, std::string(40, 'x') + '\0'}, {RegistryView::Other, kRegistryTypeString, "D:\\X"}},
       "D:\\X", 2},
      {"own of another type, none in the other", {{RegistryView::Own, kExpandString, own}}, nullptr, 2},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    standin::reset();
    loadWithRegistryPath("HKEY_LOCAL_MACHINE\\" + kKey + "\\Path");
    for (const Stored& value : c.stored)
      standin::setRegistryValue(RegistryRoot::LocalMachine, kKey, "Path", value.type, value.data, value.view);
    const char* value = lookupInstallFolder(state);
    ASSERT_EQ(value != nullptr, c.expected != nullptr);
    if (value) EXPECT_STREQ(value, c.expected);
    EXPECT_EQ(standin::registryOpenCount(), c.opens) << "the other view is asked once, and only after a failure";
  }
}

TEST_F(InstallLocation, EmptyRegistryPathNeverTouchesTheRegistry) {
  loadWithRegistryPath("");
  EXPECT_TRUE(locateInstallFolder(state));
  EXPECT_STREQ(state.installFolder, "");
  EXPECT_EQ(standin::registryOpenCount(), 0);
  EXPECT_TRUE(standin::freeSpaceQueries().empty());
  EXPECT_TRUE(standin::messageBoxes().empty());
}

TEST_F(InstallLocation, FreeSpaceIsCheckedOnTheFull64BitFigure) {
  struct Case {
    uint64_t freeBytes;
    bool goesOn;
  };
  const Case kCases[] = {
      {209715200, true},
      {209715199, false},
      {0x100000000ull + 5, true},
      {0, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.freeBytes);
    standin::reset();
    state.instanceMutex = nullptr;
    loadWithRegistryPath("HKEY_LOCAL_MACHINE\\" + kKey + "\\Path");
    standin::setRegistryString(RegistryRoot::LocalMachine, kKey, "Path", installPath());
    standin::overrideFreeSpace(c.freeBytes);
    bool alreadyRunning;
    state.instanceMutex = createInstanceMutex("test", &alreadyRunning);
    EXPECT_EQ(locateInstallFolder(state), c.goesOn);
    EXPECT_EQ(std::string(state.installFolder), installPath());
    EXPECT_EQ(standin::freeSpaceQueries(), std::vector<std::string>{installPath() + "\\"});
    if (c.goesOn) {
      EXPECT_TRUE(standin::messageBoxes().empty());
      EXPECT_EQ(standin::mutexCloseCount(), 0);
    } else {
      ASSERT_EQ(standin::messageBoxes().size(), 1u);
      EXPECT_EQ(standin::messageBoxes()[0].text, "Not enough hard-drive space.");
      EXPECT_EQ(standin::messageBoxes()[0].caption, "Example Update");
      EXPECT_EQ(standin::messageBoxes()[0].flags, 0x10u);
      EXPECT_EQ(standin::mutexCloseCount(), 1);
    }
  }
}

TEST_F(InstallLocation, QueryFolderKeepsATrailingBackslashAndEmptyValuesAskTheDriveRoot) {
  const std::string path = "HKEY_LOCAL_MACHINE\\" + kKey + "\\Path";
  struct Case {
    std::string value;
    std::string query;
  };
  const Case kCases[] = {
      {installPath() + "\\", installPath() + "\\"},
      {"", "\\"},
  };
  for (const Case& c : kCases) {
    standin::reset();
    loadWithRegistryPath(path);
    standin::setRegistryString(RegistryRoot::LocalMachine, kKey, "Path", c.value);
    EXPECT_TRUE(locateInstallFolder(state));
    EXPECT_EQ(std::string(state.installFolder), c.value) << "the value is kept exactly as read";
    EXPECT_EQ(standin::freeSpaceQueries(), std::vector<std::string>{c.query});
  }
}

TEST_F(InstallLocation, FailedFreeSpaceQuerySkipsTheCheck) {
  loadWithRegistryPath("HKEY_LOCAL_MACHINE\\" + kKey + "\\Path");
  standin::setRegistryString(RegistryRoot::LocalMachine, kKey, "Path", scratch.at("no such folder"));
  standin::overrideFreeSpace(0);
  EXPECT_TRUE(locateInstallFolder(state)) << "a folder that does not exist cannot be queried";
  standin::failFreeSpaceQuery();
  EXPECT_TRUE(locateInstallFolder(state));
  EXPECT_TRUE(standin::messageBoxes().empty());
}

}  // namespace
