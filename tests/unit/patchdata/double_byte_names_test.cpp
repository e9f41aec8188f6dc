// Names in the payload on Japanese, Chinese and Korean systems: a 0x5C that is the second byte of
// a character separates nothing, so it neither hides a component nor makes one up.
#include <gtest/gtest.h>

#include <string>

#include "patchdata/payload_records.h"
#include "platform/linux/standin.h"
#include "support/temp_folder.h"

namespace {

class DoubleByteNames : public StandinTest {};

TEST_F(DoubleByteNames, ComponentsEndAtSeparatorCharactersOnly) {
  struct Case {
    unsigned codePage;
    const char* name;
    bool safe;
  };
  const unsigned kSingle = standin::kSingleByteCodePage;
  const Case kCases[] = {
      // "ソ" (0x83 0x5C) and "表" (0x95 0x5C) begin these names; the rest is no component.
      {932, "\x83\x5C" "con", true},
      {932, "data\\\x95\x5C" "aux.dat", true},
      {932, "\x83\x5C..\\x", true},
      {936, "\x81\x5C" "nul", true},
      {950, "\xA5\x5C" "prn.txt", true},
      // The same bytes in a single-byte code page: 0x83 is a character, 0x5C a separator.
      {kSingle, "\x83\x5C" "con", false},
      {kSingle, "data\\\x95\x5C" "aux.dat", false},
      {kSingle, "\x83\x5C..\\x", false},
      // Real separators still separate.
      {932, "\x83\x5C\\..\\x", false},
      {932, "\x83\x5C\\con", false},
      {932, "\xB1\\con", false},  // a half-width katakana is one byte
      // '/' and ':' are never second bytes.
      {932, "\x83/..", false},
      {932, "\x83:x", false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.codePage) + ": " + c.name);
    standin::setCodePage(c.codePage);
    EXPECT_EQ(isSafeRelativeName(c.name), c.safe);
  }
}

}  // namespace
