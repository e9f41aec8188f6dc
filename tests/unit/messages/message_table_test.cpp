#include "messages/message_table.h"

#include <gtest/gtest.h>

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
