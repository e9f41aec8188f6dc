// The command line as a user meets it: exit codes, one clear line on stderr for any error,
// output files that appear whole or not at all.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "patchdata/checksum.h"
#include "support/patch_project.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
  int code = -1;
  std::string out, err;
};

class CliTest : public ::testing::Test {
 protected:
  Outcome run(const std::string& arguments) {
    std::string out = folder.at("stdout"), err = folder.at("stderr");
    std::string command = std::string(PATCHBUILD_EXECUTABLE) + " " + arguments + " >" + out + " 2>" + err;
    int status = std::system(command.c_str());
    Outcome outcome;
    outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = read(out);
    outcome.err = read(err);
    return outcome;
  }
  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // A failure: non-zero exit and exactly one line on stderr that contains `expected`.
  void expectOneLineError(const Outcome& outcome, const std::string& expected) {
    EXPECT_NE(outcome.code, 0);
    EXPECT_EQ(outcome.err.rfind("patchbuild: ", 0), 0u) << outcome.err;
    ASSERT_FALSE(outcome.err.empty());
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << "one line: " << outcome.err;
    EXPECT_NE(outcome.err.find(expected), std::string::npos) << outcome.err;
  }
  static void twoVersions(PatchProject& project) {
    FileBytes program = patterned(30000, 21);
    project.file(0, "app.exe", program).file(1, "app.exe", spliced(program, 100, "new")).file(1, "new.txt", "added");
    project.writeProject();
  }
  TempFolder folder;
};

TEST_F(CliTest, BuildInfoVerifyAndChecksum) {
  PatchProject project(2);
  twoVersions(project);
  std::string container = folder.at("patch.pat");
  Outcome built = run("build " + project.projectPath() + " -o " + container);
  ASSERT_EQ(built.code, 0) << built.err;
  EXPECT_NE(built.out.find("identified by app.exe"), std::string::npos) << built.out;

  Outcome info = run("info " + container);
  ASSERT_EQ(info.code, 0) << info.err;
  for (const char* part : {"registry       HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\App\\Path", "T_MAINTITLE",
                           "versions       2", "work from 0", "app.exe:", "delta", "write", "new.txt"})
    EXPECT_NE(info.out.find(part), std::string::npos) << part << "\n" << info.out;
  Outcome json = run("info --json " + container);
  ASSERT_EQ(json.code, 0) << json.err;
  for (const char* part : {"\"workTotals\": [", "\"kind\": \"delta\"", "\"copies\":", "\"compressedSize\":"})
    EXPECT_NE(json.out.find(part), std::string::npos) << part;

  Outcome verified = run("verify " + container + " " + project.versionFolder(0));
  EXPECT_EQ(verified.code, 0) << verified.err;
  EXPECT_NE(verified.out.find("version 0 of 2"), std::string::npos) << verified.out;
  EXPECT_NE(verified.out.find("progress: "), std::string::npos);
  Outcome newest = run("verify " + container + " " + project.versionFolder(1));
  EXPECT_EQ(newest.code, 0);
  EXPECT_NE(newest.out.find("already the newest version"), std::string::npos) << newest.out;
  folder.write("damaged/app.exe", "not a known version");
  expectOneLineError(run("verify -q " + container + " " + folder.at("damaged")), "not a known version");

  std::string file = project.versionFolder(0) + "/app.exe";
  PatchChecksum engine;
  char expected[64];
  std::snprintf(expected, sizeof expected, "%08x %zu ", engine.checksumFile(file.c_str()), fs::file_size(file));
  Outcome sums = run("checksum " + file);
  EXPECT_EQ(sums.code, 0);
  EXPECT_EQ(sums.out, std::string(expected) + file + "\n");
}

TEST_F(CliTest, EveryErrorIsOneLineOnStderr) {
  PatchProject project(2);
  twoVersions(project);
  folder.write("syntax.toml", "registry = 'HKCU\\A\\B'\n[[versions]\n");
  folder.write("nofolder.toml", "registry = 'HKCU\\A\\B'\n[[versions]]\nfolder = \"missing\"\n");
  folder.write("notape.exe", "MZ but nothing else");
  fs::create_symlink(folder.at("nowhere"), project.versionFolder(1) + "/dangling");
  struct Case {
    std::string arguments, expected;
  } cases[] = {
      {"build " + folder.at("absent.toml"), "the project file cannot be read"},
      {"build " + folder.at("syntax.toml"), "syntax.toml:2:"},
      {"build " + folder.at("nofolder.toml"), "nofolder.toml:3:10: the version folder \"missing\" does not exist"},
      {"build " + project.projectPath() + " -o " + folder.at("x.pat"), "dangling"},
      {"info " + folder.at("absent.pat"), "cannot be read"},
      {"info " + folder.at("syntax.toml"), "not a valid container"},
      {"verify " + folder.at("absent.pat") + " " + folder.path(), "cannot be read"},
      {"checksum " + folder.at("absent.bin"), "cannot be read"},
      {"exe " + folder.at("syntax.toml") + " --template x.exe -o y.exe", "not a valid container"},
      {"frobnicate", "unknown command \"frobnicate\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    expectOneLineError(run(c.arguments), c.expected);
  }
}

TEST_F(CliTest, AFailedBuildLeavesNoContainer) {
  PatchProject project(2);
  project.same(0, 1, "app.exe", "identical versions cannot be told apart");
  project.writeProject();
  std::string container = folder.at("patch.pat");
  folder.write("patch.pat", "the previous container");
  expectOneLineError(run("build " + project.projectPath() + " -o " + container), "cannot be told apart");
  EXPECT_EQ(read(container), "the previous container");
  for (const auto& entry : fs::directory_iterator(folder.path()))
    EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos) << entry.path();
}

TEST_F(CliTest, EverySubcommandHasHelp) {
  for (const char* command : {"", "build", "info", "verify", "checksum", "exe"}) {
    SCOPED_TRACE(command);
    Outcome help = run(std::string(command) + " --help");
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("Usage"), std::string::npos) << help.out;
  }
}

}  // namespace
