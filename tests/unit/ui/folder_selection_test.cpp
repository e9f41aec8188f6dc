#include "ui/folder_selection.h"

#include <gtest/gtest.h>

#include "feedback/resource_ids.h"
#include "platform/linux/standin.h"
#include "support/updater_fixture.h"

namespace {

class FolderSelection : public UpdaterTest {};

TEST_F(FolderSelection, OneTrailingBackslashCharacterIsRemovedNeverHalfACharacter) {
  struct Case {
    unsigned codePage;
    const char* chosen;
    const char* kept;
  };
  const unsigned kSingle = standin::kSingleByteCodePage;
  const Case kCases[] = {
      {kSingle, "C:\\Games\\App", "C:\\Games\\App"},
      {kSingle, "C:\\", "C:"},
      {kSingle, "C:\\Games\\App\\\\", "C:\\Games\\App\\"},  // only one
      {kSingle, "C:\\Games\\\x83\x5C", "C:\\Games\\\x83"},  // 0x83 is a character of its own here
      // "ソ" in Japanese, "功" in Traditional Chinese: their second byte is 0x5C.
      {932, "C:\\Games\\\x83\x5C", "C:\\Games\\\x83\x5C"},
      {932, "C:\\Games\\\x83\x5C\\", "C:\\Games\\\x83\x5C"},
      {932, "C:\\\xB1\\", "C:\\\xB1"},  // a half-width katakana is one byte
      {950, "D:\\\xA5\x5C", "D:\\\xA5\x5C"},
      {936, "D:\\\x81\x5C\x81\x5C", "D:\\\x81\x5C\x81\x5C"},
      {949, "C:\\", "C:"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.codePage) + ": " + c.chosen);
    standin::reset();
    standin::setCodePage(c.codePage);
    load(PayloadWriter().build());
    standin::setBrowseResult(std::string(c.chosen));
    ASSERT_TRUE(selectFolder(state));
    EXPECT_STREQ(state.installFolder, c.kept);
    EXPECT_EQ(standin::controlText(IDC_FOLDER), c.chosen) << "shown exactly as chosen";
  }
}

}  // namespace
