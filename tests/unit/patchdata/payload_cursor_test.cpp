#include "patchdata/payload_cursor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "writer/payload_writer.h"

namespace {

PayloadCursor over(const std::vector<uint8_t>& bytes) {
  return PayloadCursor(bytes.data(), bytes.data() + bytes.size());
}

TEST(PayloadCursor, ReadsLittleEndianFieldsAndStringsInPlace) {
  std::vector<uint8_t> bytes = {0x7F, 0xFF, 0xFF, 0x78, 0x56, 0x34, 0x12, 'h', 'i', 0, 0xFE, 0xFF, 0xFF, 0xFF};
  PayloadCursor cursor = over(bytes);
  EXPECT_EQ(cursor.readU8(), 0x7F);
  EXPECT_EQ(cursor.readI16(), -1);
  EXPECT_EQ(cursor.readU32(), 0x12345678u);
  const char* text = cursor.readString();
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "hi");
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(text), bytes.data() + 7) << "strings are not copied";
  EXPECT_EQ(cursor.readI32(), -2);
  EXPECT_TRUE(cursor.atEnd());
  EXPECT_FALSE(cursor.overran);
}

TEST(PayloadCursor, EveryReadPastTheEndFailsAndStaysFailed) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    void (*read)(PayloadCursor&);
  };
  const Case kCases[] = {
      {"u32 with three bytes", {1, 2, 3}, [](PayloadCursor& c) { EXPECT_EQ(c.readU32(), 0u); }},
      {"i16 with one byte", {1}, [](PayloadCursor& c) { EXPECT_EQ(c.readI16(), 0); }},
      {"string without terminator", {'a', 'b'}, [](PayloadCursor& c) { EXPECT_EQ(c.readString(), nullptr); }},
      {"bytes beyond the end", {1, 2}, [](PayloadCursor& c) { EXPECT_EQ(c.readBytes(3), nullptr); }},
      {"huge count", {1, 2}, [](PayloadCursor& c) { EXPECT_EQ(c.readBytes(SIZE_MAX), nullptr); }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    PayloadCursor cursor = over(c.bytes);
    c.read(cursor);
    EXPECT_TRUE(cursor.overran);
    EXPECT_EQ(cursor.remaining(), 0u);
    EXPECT_EQ(cursor.readU8(), 0) << "a failed cursor reads nothing more";
    EXPECT_EQ(cursor.readString(), nullptr);
  }
}

TEST(PayloadCursor, TakeBoundsABodyAndAdvancesPastIt) {
  std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6};
  PayloadCursor cursor = over(bytes);
  PayloadCursor body = cursor.take(4);
  EXPECT_EQ(body.remaining(), 4u);
  EXPECT_EQ(cursor.remaining(), 2u);
  body.readU32();
  EXPECT_FALSE(body.overran);
  body.readU8();
  EXPECT_TRUE(body.overran) << "a body never reads into what follows it";

  PayloadCursor tooLong = cursor.take(3);
  EXPECT_TRUE(tooLong.overran);
  EXPECT_TRUE(cursor.overran);
}

TEST(PayloadCursor, SmallestCompletePayloadReadsToItsEnd) {
  std::vector<uint8_t> payload = patchwriter::PayloadWriter().build();
  ASSERT_EQ(payload.size(), 21u);
  PayloadCursor cursor = over(payload);
  cursor.readU32();                      // checksum
  EXPECT_STREQ(cursor.readString(), "");  // registry path
  EXPECT_EQ(cursor.readI32(), 0);        // messages
  EXPECT_EQ(cursor.readI32(), 1);        // versions
  EXPECT_EQ(cursor.readI32(), 0);        // identification files
  EXPECT_EQ(cursor.readI32(), 0);        // operations
  EXPECT_TRUE(cursor.atEnd());
  EXPECT_FALSE(cursor.overran);
}

}  // namespace
