// The stand-in's confinement check, which the fuzz targets and fault tests rely on to see any
// file operation that leaves the install folder.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/linux/standin.h"
#include "support/temp_folder.h"

namespace {

class StandinFiles : public StandinTest {};

TEST_F(StandinFiles, ConfinementRefusesAndRecordsEveryPathOutsideItsRoot) {
  scratch.write("install/a.txt", "a");
  scratch.write("outside.txt", "o");
  standin::confineFileOps(scratch.at("install") + "\\");
  std::string beside = scratch.path() + "/installtmp", climbing = scratch.at("install") + "\\..\\outside.txt";

  PlatformFile* inside = openRead("install\\a.txt");  // relative to the current directory
  ASSERT_NE(inside, nullptr);
  closeFile(inside);
  EXPECT_TRUE(resetAttributes(scratch.at("install").c_str())) << "the root itself is inside";
  EXPECT_FALSE(deleteFile(climbing.c_str()));
  EXPECT_EQ(createWrite(beside.c_str()), nullptr);
  EXPECT_FALSE(moveFile(scratch.at("install/a.txt").c_str(), beside.c_str()));

  EXPECT_TRUE(scratch.exists("outside.txt"));
  EXPECT_TRUE(scratch.exists("install/a.txt"));
  EXPECT_FALSE(scratch.exists("installtmp"));
  EXPECT_EQ(standin::confinementViolations(), (std::vector<std::string>{climbing, beside, beside}));
}

}  // namespace
