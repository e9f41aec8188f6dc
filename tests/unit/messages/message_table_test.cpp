#include "messages/message_table.h"

#include <gtest/gtest.h>

#include "platform/linux/standin.h"
#include "support/updater_fixture.h"

namespace {

class MessageTable : public UpdaterTest {};

TEST_F(MessageTable, KeysMatchIgnoringTheCaseOfAsciiLettersOnly) {
  load(PayloadWriter()
           .message("t_update", "lower")
           .message("T_UPDATE", "upper, later")
           .message("T_\xC9T\xC9", "accented upper")
           .message("key|bar", "bar stays in keys")
           .build());
  EXPECT_STREQ(lookupText(state, "T_Update"), "lower");
  EXPECT_STREQ(lookupText(state, "t_UPDATE"), "lower") << "the earlier of two equal keys wins";
  EXPECT_STREQ(lookupText(state, "T_\xC9T\xC9"), "accented upper");
  EXPECT_STREQ(lookupText(state, "t_\xE9t\xE9"), kMissingText) << "bytes of 0x80 and above compare exactly";
  EXPECT_STREQ(lookupText(state, "KEY|BAR"), "bar stays in keys");
  EXPECT_STREQ(lookupText(state, "T_Updat"), kMissingText);
  EXPECT_STREQ(lookupText(state, "T_Missing"), "??????");
}

TEST_F(MessageTable, BarsInTextsBecomeLineFeeds) {
  load(PayloadWriter()
           .message("three", "one|two|three")
           .message("bar", "|")
           .message("empty", "")
           .message("double-byte", "\x83|x")
           .build());
  EXPECT_STREQ(lookupText(state, "three"), "one\ntwo\nthree");
  EXPECT_STREQ(lookupText(state, "bar"), "\n");
  EXPECT_STREQ(lookupText(state, "empty"), "") << "an empty text is a text, not the fallback";
  EXPECT_STREQ(lookupText(state, "double-byte"), "\x83\nx") << "the scan is byte by byte";
}

TEST_F(MessageTable, BarThatIsTheSecondByteOfACharacterStaysInIt) {
  struct Case {
    unsigned codePage;
    const char* text;
    const char* shown;
  };
  const Case kCases[] = {
      // "ポート" (0x83 0x7C for its first character), a bar, "next".
      {932, "\x83|\x81\x5B\x83\x67|next", "\x83|\x81\x5B\x83\x67\nnext"},
      {932, "\xB1|", "\xB1\n"},  // half-width katakana are single bytes
      {932, "bar|\x83", "bar\n\x83"},  // a lead byte at the end stands alone
      {936, "\x81||", "\x81|\n"},
      {949, "|\xB0|", "\n\xB0|"},
      {950, "\xA4|\xA4|", "\xA4|\xA4|"},
      {standin::kSingleByteCodePage, "\x83|x", "\x83\nx"},  // every bar, as before
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.codePage) + ": " + c.text);
    standin::setCodePage(c.codePage);
    load(PayloadWriter().message("k|ey", c.text).build());
    EXPECT_STREQ(lookupText(state, "K|EY"), c.shown);
  }
}

TEST_F(MessageTable, EmptyTableLeavesTheCursorOnTheVersionSection) {
  load(PayloadWriter().versionCount(7).build());
  EXPECT_EQ(state.messageCount, 0);
  EXPECT_STREQ(lookupText(state, "T_MAINTITLE"), "??????");
  EXPECT_EQ(state.cursor.readI32(), 7);
}

TEST_F(MessageTable, CursorEndsRightAfterTheLastText) {
  load(PayloadWriter().message("a", "b").message("c", "d").versionCount(3).build());
  EXPECT_EQ(state.messageCount, 2);
  EXPECT_EQ(state.cursor.readI32(), 3);
}

TEST_F(MessageTable, TableRunningPastThePayloadKeepsWholeEntriesOnly) {
  // The structural check refuses such a payload at start-up; reading it must still be safe.
  Bytes payload = PayloadWriter().message("k1", "t1").message("k2", "t2").forceMessageCount(1000).build();
  std::vector<uint8_t> exact(payload.begin(), payload.end());
  PatchState local;
  local.cursor = PayloadCursor(exact.data() + 4, exact.data() + exact.size() - 12);  // cut inside
  local.cursor.readString();
  readMessageTable(local);
  EXPECT_LE(local.messageCount, 2);
  EXPECT_STREQ(lookupText(local, "k1"), "t1");
}

}  // namespace
