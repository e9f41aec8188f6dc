// Names and texts into the Windows code pages the updater shows and opens files with. Linux
// converts with glibc's tables, Windows with its own (through the host layer): both must give
// the same bytes, refuse the same characters, and never put in a look-alike.
#include <gtest/gtest.h>

#include <string>

#include "patchbuild/codepage.h"

using namespace patchbuild;

namespace {

TEST(HostCodePage, ConvertsSingleAndDoubleByteCodePages) {
  struct Case {
    const char* utf8;
    int codePage;
    const char* expected;
  } cases[] = {
      {"données\\carte-é.txt", 1252, "donn\xE9" "es\\carte-\xE9.txt"},
      {"€ 1", 1252, "\x80 1"},
      {"Größe", 1250, "Gr\xF6\xDF" "e"},
      {"日本", 932, "\x93\xFA\x96\x7B"},
      {"表", 932, "\x95\x5C"},  // its second byte is a backslash
      {"中文", 936, "\xD6\xD0\xCE\xC4"},
      {"가", 949, "\xB0\xA1"},
      {"é 日本", 65001, "é 日本"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    std::string out, error;
    ASSERT_TRUE(toCodePage(c.utf8, c.codePage, out, error)) << error;
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ(fromCodePage(out, c.codePage), c.utf8);
  }
}

TEST(HostCodePage, RefusesWhatTheCodePageCannotHold) {
  struct Case {
    const char* utf8;
    int codePage;
    const char* named;
  } cases[] = {
      {"a Ω b", 1252, "U+03A9"},
      {"ā", 1252, "U+0101"},  // Windows would fit an "a" in its place: another name
      {"x€", 932, "U+20AC"},
      {"日", 1250, "U+65E5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    std::string out, error;
    EXPECT_FALSE(toCodePage(c.utf8, c.codePage, out, error));
    EXPECT_NE(error.find(c.named), std::string::npos) << error;
    EXPECT_NE(error.find(std::to_string(c.codePage)), std::string::npos) << error;
  }
  std::string out, error;
  EXPECT_FALSE(toCodePage("x", 12345, out, error));
  EXPECT_FALSE(isKnownCodePage(12345));
  for (int codePage : {1250, 1252, 932, 936, 949, 950, 65001}) EXPECT_TRUE(isKnownCodePage(codePage)) << codePage;
}

TEST(HostCodePage, ShowsBytesThatAreNoCharacterAsQuestionMarks) {
  EXPECT_EQ(fromCodePage("ab\x93", 932), "ab?");  // a lead byte cut off at the end
  EXPECT_EQ(fromCodePage("\xE9t\xE9", 1252), "été");
}

}  // namespace
