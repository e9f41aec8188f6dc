// The command line as a user meets it: exit codes, one clear line on stderr for any error,
// output files that appear whole or not at all.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "patchbuild/folder_scan.h"
#include "patchbuild/pe_resource.h"
#include "patchdata/checksum.h"
#include "support/patch_project.h"
#include "writer/container_writer.h"

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
      {"build " + project.projectPath() + " -o " + project.projectPath(), "would replace the project file"},
      {"build " + project.projectPath() + " -o " + project.versionFolder(1) + "/patch.pat",
       "would land in the version folder \"v1\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    expectOneLineError(run(c.arguments), c.expected);
  }
}

// What verify prints about an install folder, line by line, for the cases where the update would
// not simply run: a record that would fail, a bar that would not end at its maximum, an update
// that was cut off in the middle of a swap or of a write, names that differ from the container's
// only in case.
TEST_F(CliTest, VerifySaysWhatTheUpdaterWouldDo) {
  FileBytes pack = patterned(40000, 22), map = patterned(30000, 23);
  PatchProject project(2);
  project.file(0, "app.exe", patterned(20000, 24)).file(1, "app.exe", spliced(patterned(20000, 24), 10, "v1"))
      .file(0, "data.pak", pack).file(1, "data.pak", spliced(pack, 300, "v1"))
      .file(0, "\u00d6l/map.dat", map).file(1, "\u00f6l/map.dat", spliced(map, 77, "v1"))
      .file(1, "notes.txt", "added in version 1")
      .extra("[identify]\nfiles = [\"app.exe\"]");
  std::string container = folder.at("patch.pat");
  project.writeProject();
  Outcome built = run("build -q " + project.projectPath() + " -o " + container);
  ASSERT_EQ(built.code, 0) << built.err;
  const std::string newest = project.versionFolder(1);

  // A container whose work total is wrong, made with the writer.
  PatchChecksum engine;
  uint32_t app0 = engine.checksumFile((project.versionFolder(0) + "/app.exe").c_str());
  uint32_t app1 = engine.checksumFile((newest + "/app.exe").c_str());
  patchwriter::PayloadWriter writer;
  writer.registryPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\Test").versionCount(2).workTotals({999})
      .identFile("app.exe", {app0, app1}).writeFile("new.txt", bytesOf("added"));
  std::string wrongTotal = folder.at("total.pat");
  folder.write("total.pat", patchwriter::makeContainer(writer.build()));

  struct Case {
    const char* name;
    std::string container;
    std::function<void(const std::string& install)> prepare;
    const char* expected;  // a line of the report
    bool succeeds;
  };
  auto copy = [](const std::string& from, const std::string& to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  };
  const Case kCases[] = {
      {"a record that would fail", container,
       [](const std::string& install) { std::ofstream(install + "/data.pak") << "other bytes"; },
       "record 2 delta data.pak: would FAIL: its file does not have the expected checksum (error 801)", false},
      {"a bar that would not end at its maximum", wrongTotal, [](const std::string&) {},
       "progress: 5 units reported, the bar's total is 999 (the bar would not end exactly at its maximum)", true},
      {"a swap cut off after the old file was deleted", container,
       [&](const std::string& install) {
         copy(newest + "/data.pak", install + "/data.tmp");
         fs::remove(install + "/data.pak");
       },
       "record 2 delta data.pak: finishes an update that was cut off (its new content waits in the temporary file)", true},
      {"a write's swap cut off after the old file was deleted", container,
       [&](const std::string& install) { copy(newest + "/notes.txt", install + "/notes.tmp"); },
       "record 1 write notes.txt: finishes an update that was cut off (its new content waits in the temporary file)", true},
      {"a write cut off while its temporary file was written", container,
       [&](const std::string& install) { std::ofstream(install + "/notes.tmp") << "added in"; },
       "record 1 write notes.txt: applies, written in place because its temporary path notes.tmp is taken", true},
      {"the identification file's swap cut off", container,
       [&](const std::string& install) {
         copy(newest + "/data.pak", install + "/data.pak");
         copy(newest + "/\u00f6l/map.dat", install + "/\u00d6l/map.dat");
         copy(newest + "/notes.txt", install + "/notes.txt");
         copy(newest + "/app.exe", install + "/app.tmp");
         fs::remove(install + "/app.exe");
       },
       "version 1 of 2: already the newest version, nothing to do", true},
      {"a folder named in another case beyond A-Z", container, [](const std::string&) {},
       "record 3 delta \u00f6l\\map.dat: applies", true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string install = project.install(0);
    c.prepare(install);
    Outcome verified = run("verify " + c.container + " " + install);
    EXPECT_NE(verified.out.find(std::string(c.expected) + "\n"), std::string::npos) << verified.out;
    if (c.succeeds) {
      EXPECT_EQ(verified.code, 0) << verified.err;
    } else {
      expectOneLineError(verified, "the update would fail (see above)");
    }
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

#ifdef TEMPLATES_DIR
TEST_F(CliTest, ExeGivenAnUpdaterEmbedsTheContainerItCarries) {
  PatchProject project(2);
  twoVersions(project);
  std::string container = folder.at("patch.pat"), update = folder.at("Update.exe"), again = folder.at("Again.exe");
  ASSERT_EQ(run("build -q " + project.projectPath() + " -o " + container).code, 0);
  std::string templatePath = std::string(TEMPLATES_DIR) + "/reader64_rc.exe";
  ASSERT_EQ(run("exe " + container + " --template " + templatePath + " -o " + update).code, 0);
  Outcome embedded = run("exe " + update + " --template " + templatePath + " -o " + again);
  ASSERT_EQ(embedded.code, 0) << embedded.err;
  std::vector<uint8_t> image, carried;
  std::string error;
  ASSERT_TRUE(patchbuild::readWholeFile(again, image));
  ASSERT_TRUE(patchbuild::findPatchResource(image, carried, error)) << error;
  EXPECT_EQ(carried, folder.read("patch.pat"));
}
#endif

TEST_F(CliTest, EverySubcommandHasHelp) {
  for (const char* command : {"", "build", "info", "verify", "checksum", "exe"}) {
    SCOPED_TRACE(command);
    Outcome help = run(std::string(command) + " --help");
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("Usage"), std::string::npos) << help.out;
  }
}

}  // namespace
