#include "patchdata/payload_records.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SafeRelativeName, KeepsNamesInsideTheInstallFolder) {
  struct Case {
    std::string name;
    bool safe;
  };
  const Case kCases[] = {
      {"app.exe", true},
      {"data\\main.pak", true},
      {"data/sub/x.bin", true},
      {".hidden\\..x\\a..b", true},
      {".\\app.exe", true},
      {"", true},
      {std::string(1023, 'a'), true},
      {std::string(1024, 'a'), false},
      {"..", false},
      {"..\\x", false},
      {"data\\..\\..\\x", false},
      {"data/../x", false},
      {"data\\.. \\x", false},
      {"data\\...\\x", false},
      {"x\\..", false},
      {"C:\\Windows\\x.dll", false},
      {"app.exe:stream", false},
      {"CON", false},
      {"PRN", false},
      {"data\\nul.txt", false},
      {"com1", false},
      {"COM0", false},
      {"LPT9.log", false},
      {"aux .dat", false},
      {"conin$", false},
      {"CONOUT$.txt", false},
      // The superscript digits one, two and three count as digits (code page 1252).
      {"COM\xB9", false},
      {"lpt\xB2.log", false},
      {"data\\Com\xB3", false},
      {"com\xB4", true},  // an acute accent, not a digit
      {"console.exe", true},
      {"com10", true},
      {"data\\auxiliary.dat", true},
      {"lpt", true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name.substr(0, 40));
    EXPECT_EQ(isSafeRelativeName(c.name.c_str()), c.safe);
  }
}

}  // namespace
