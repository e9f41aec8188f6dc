// Reading project files: the documented form, and one clear error (with line and column) for
// everything else.
#include <gtest/gtest.h>

#include "patchbuild/codepage.h"
#include "patchbuild/name_folding.h"
#include "patchbuild/project_file.h"
#include "patchdata/payload_records.h"
#include "support/temp_folder.h"

namespace {

using patchbuild::Project;

class ProjectFileTest : public ::testing::Test {
 protected:
  ProjectFileTest() {
    folder.makeFolder("v1.0");
    folder.makeFolder("v1.0/inner");
    folder.makeFolder("v1.1");
  }
  bool load(const std::string& text, Project& project, std::string& error) {
    folder.write("project.toml", text);
    return patchbuild::loadProject(folder.at("project.toml"), project, error);
  }
  std::string errorOf(const std::string& text) {
    Project project;
    std::string error;
    EXPECT_FALSE(load(text, project, error));
    return error;
  }
  TempFolder folder;
};

const char* kExample = R"(registry = 'HKEY_LOCAL_MACHINE\SOFTWARE\Example\App\Path'
codepage = 1252

[messages]
T_MAINTITLE = "Example 1.1 Update"
T_IDENT0 = "Example 1.0 is currently installed."
T_IDENT1 = "Example 1.1 is already installed."

[[versions]]
folder = "v1.0"

[[versions]]
folder = "v1.1"

[identify]
auto = true            # or: files = ["example.exe", "data\\main.pak"]

[options]
deltas = "chained"     # or "exact"
)";

TEST_F(ProjectFileTest, TheDocumentedExampleLoads) {
  Project project;
  std::string error;
  ASSERT_TRUE(load(kExample, project, error)) << error;
  EXPECT_EQ(project.registryPath, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\App\\Path");
  EXPECT_EQ(project.codePage, 1252);
  ASSERT_EQ(project.messages.size(), 3u);
  EXPECT_EQ(project.messages[0].first, "T_MAINTITLE");  // in the order written, not sorted
  EXPECT_EQ(project.messages[2].first, "T_IDENT1");
  ASSERT_EQ(project.versions.size(), 2u);
  EXPECT_EQ(project.versions[1].path, folder.at("v1.1"));
  EXPECT_TRUE(project.autoIdentify);
  EXPECT_EQ(project.deltas, patchbuild::DeltaMode::Chained);
}

TEST_F(ProjectFileTest, OptionsAndIdentificationFiles) {
  Project project;
  std::string error;
  ASSERT_TRUE(load("registry = ''\n[[versions]]\nfolder = \"v1.0\"\nname = \"1.0\"\n[identify]\n"
                   "files = [\"example.exe\", \"data\\\\main.pak\"]\n[options]\ndeltas = \"exact\"\n"
                   "compression = 6\n",
                   project, error)) << error;
  EXPECT_FALSE(project.autoIdentify);
  EXPECT_EQ(project.identFiles, (std::vector<std::string>{"example.exe", "data\\main.pak"}));
  EXPECT_EQ(project.deltas, patchbuild::DeltaMode::Exact);
  EXPECT_EQ(project.compression.kind, patchbuild::Compression::Zlib);
  EXPECT_EQ(project.compression.level, 6);
  EXPECT_EQ(project.versions[0].name, "1.0");
  EXPECT_FALSE(project.warnings.empty());  // an empty registry path and no messages are worth a word
}

struct ErrorCase {
  const char* name;
  const char* text;
  const char* expected;  // part of the one-line message, with its place
};

TEST_F(ProjectFileTest, ErrorsNameTheLineAndColumn) {
  const ErrorCase kCases[] = {
      {"syntax", "registry = 'HKCU\\A\\B'\n[messages\n", "project.toml:2:"},
      {"unknown key", "registry = 'HKCU\\A\\B'\nregistri = 'y'\n", "project.toml:2:1: unknown key \"registri\""},
      {"missing folder", "registry = 'HKCU\\A\\B'\n[[versions]]\nfolder = \"v9\"\n", "project.toml:3:10: the version folder \"v9\" does not exist"},
      {"wrong type", "registry = 5\n", "project.toml:1:12: registry must be a string"},
      {"no versions", "registry = 'HKCU\\A\\B'\n", "there is no [[versions]] entry"},
      {"no registry", "[[versions]]\nfolder = \"v1.0\"\n", "the key \"registry\" is missing"},
      {"bad mode", "registry = 'HKCU\\A\\B'\n[[versions]]\nfolder = \"v1.0\"\n[options]\ndeltas = \"fast\"\n",
       "project.toml:5:10: deltas must be \"chained\" or \"exact\""},
      {"bad level", "registry = 'HKCU\\A\\B'\n[[versions]]\nfolder = \"v1.0\"\n[options]\ncompression = 12\n",
       "project.toml:5:15: a zlib compression level runs from 0 to 9"},
      {"unknown code page", "registry = 'HKCU\\A\\B'\ncodepage = 4242\n", "project.toml:2:12: code page 4242 is not known"},
      {"text the code page lacks", "registry = 'HKCU\\A\\B'\n[messages]\nT_MAINTITLE = \"\xE4\xB8\xAD\"\n",
       "project.toml:3:15: the text of T_MAINTITLE has the character \"\xE4\xB8\xAD\" (U+4E2D), which code page 1252 cannot hold"},
      {"keys differing in case", "registry = 'HKCU\\A\\B'\n[messages]\nT_Update = \"a\"\nT_UPDATE = \"b\"\n",
       "differ only in case"},
      {"auto and files", "registry = 'HKCU\\A\\B'\n[[versions]]\nfolder = \"v1.0\"\n[identify]\nauto = true\nfiles = [\"a\"]\n",
       "give either auto = true or a list of files"},
      {"empty folder", "registry = 'HKCU\\A\\B'\n[[versions]]\nfolder = \"\"\n", "project.toml:3:10: folder is empty"},
      {"a version folder holding the project file", "registry = 'HKCU\\A\\B'\n[[versions]]\nfolder = \".\"\n[[versions]]\nfolder = \"v1.1\"\n",
       "project.toml:3:10: the version folder \".\" holds the project file"},
      {"a version folder holding another", "registry = 'HKCU\\A\\B'\n[[versions]]\nfolder = \"v1.0/inner\"\n[[versions]]\nfolder = \"v1.0\"\n",
       "project.toml:5:10: the version folder \"v1.0\" holds the version folder \"v1.0/inner\""},
      {"the same folder twice", "registry = 'HKCU\\A\\B'\n[[versions]]\nfolder = \"v1.0\"\n[[versions]]\nfolder = \"./v1.0\"\n",
       "the version folder \"./v1.0\" is listed twice"},
      {"a registry root the updater does not know", "registry = 'HKEY_LOCAL\\SOFTWARE\\App\\Path'\n",
       "project.toml:1:12: the registry root \"HKEY_LOCAL\" is not one the updater knows"},
      {"a registry path without a value name", "registry = 'HKLM\\SOFTWARE'\n", "must be a root key, a key and a value name"},
  };
  for (const ErrorCase& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string error = errorOf(c.text);
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << "one line";
  }
}

TEST_F(ProjectFileTest, ShortRegistryRootsAreWrittenOutInFull) {
  // The updater knows the five roots by their full names only, in any case.
  const std::pair<const char*, const char*> kCases[] = {
      {"hklm\\SOFTWARE\\App\\Path", "HKEY_LOCAL_MACHINE\\SOFTWARE\\App\\Path"},
      {"HKCU\\Software\\App\\", "HKEY_CURRENT_USER\\Software\\App\\"},
      {"HKCR\\App\\Path", "HKEY_CLASSES_ROOT\\App\\Path"},
      {"HKU\\S-1-5-18\\App\\Path", "HKEY_USERS\\S-1-5-18\\App\\Path"},
      {"HKCC\\App\\Path", "HKEY_CURRENT_CONFIG\\App\\Path"},
      {"hkey_local_machine\\SOFTWARE\\App\\Path", "hkey_local_machine\\SOFTWARE\\App\\Path"},
  };
  for (const auto& [written, stored] : kCases) {
    SCOPED_TRACE(written);
    Project project;
    std::string error;
    ASSERT_TRUE(load(std::string("registry = '") + written + "'\n[[versions]]\nfolder = \"v1.0\"\n", project, error)) << error;
    EXPECT_EQ(project.registryPath, stored);
  }
}

TEST_F(ProjectFileTest, AnOutputInsideTheProjectIsRefused) {
  Project project;
  std::string error;
  ASSERT_TRUE(load("registry = ''\n[[versions]]\nfolder = \"v1.0\"\n[[versions]]\nfolder = \"v1.1\"\n", project, error)) << error;
  const std::pair<std::string, const char*> kCases[] = {
      {folder.at("project.toml"), "would replace the project file"},
      {folder.at("v1.0/patch.pat"), "would land in the version folder \"v1.0\""},
      {folder.at("v1.1/inner/../patch.pat"), "would land in the version folder \"v1.1\""},
      {folder.at("v1.1"), "would land in the version folder \"v1.1\""},
  };
  for (const auto& [output, expected] : kCases) {
    SCOPED_TRACE(output);
    EXPECT_FALSE(patchbuild::checkOutputPath(project, output, error));
    EXPECT_NE(error.find(expected), std::string::npos) << error;
  }
  EXPECT_TRUE(patchbuild::checkOutputPath(project, folder.at("patch.pat"), error)) << error;
  EXPECT_TRUE(patchbuild::checkOutputPath(project, folder.at("v1.0.pat"), error)) << error;
}

TEST_F(ProjectFileTest, AMissingProjectFileIsOneClearError) {
  Project project;
  std::string error;
  EXPECT_FALSE(patchbuild::loadProject(folder.at("absent.toml"), project, error));
  EXPECT_NE(error.find("absent.toml: the project file cannot be read"), std::string::npos) << error;
}

TEST(CodePage, ConvertsToTheNamedWindowsCodePage) {
  struct Case {
    int codePage;
    const char* utf8;
    const char* expected;
  };
  const Case kCases[] = {
      {1252, "Caf\xC3\xA9 \xE2\x82\xAC", "Caf\xE9 \x80"},
      {1250, "\xC5\x81\xC3\xB3\x64\xC5\xBA", "\xA3\xF3\x64\x9F"},       // Łódź
      {1251, "\xD0\x9F\xD1\x80\xD0\xB8", "\xCF\xF0\xE8"},                // При
      {932, "\xE6\x97\xA5\xE6\x9C\xAC", "\x93\xFA\x96\x7B"},             // 日本
      {65001, "\xE6\x97\xA5", "\xE6\x97\xA5"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.codePage);
    std::string out, error;
    ASSERT_TRUE(patchbuild::toCodePage(c.utf8, c.codePage, out, error)) << error;
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ(patchbuild::fromCodePage(out, c.codePage), c.utf8);
  }
}

TEST(NameFolding, NamesAreOneWhenWindowsTakesThemForOne) {
  struct Case {
    int codePage;
    const char* a;
    const char* b;
    bool same;
  };
  const Case kCases[] = {
      {1252, "\xC4rger.dat", "\xE4rger.dat", true},    // Ärger, ärger
      {1252, "\xFF", "\x9F", true},                    // ÿ, Ÿ
      {1252, "\xDF", "SS", false},                      // ß has no single upper case
      {1252, "Readme.TXT", "README.txt", true},
      {1250, "\xA3\xF3d\x9F", "\xB3\xD3D\x8F", true},  // Łódź, łÓDŹ
      {1251, "\xFF", "\xDF", true},                    // я, Я
      {1253, "\xB5", "\xCC", false},                   // the micro sign stays apart from Μ
      {932, "\x83\x41", "\x83\x61", false},           // ア, ヂ: second bytes differ by ASCII case
      {932, "\x82\x81", "\x82\x60", true},            // fullwidth ａ, Ａ
      {65001, "\xC4\xB1", "I", false},                 // the dotless ı stays
      {65001, "\xC7\x85", "\xC7\x84", false},         // the title case ǅ stays
      {65001, "\xC7\x86", "\xC7\x84", true},          // ǆ, Ǆ
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.codePage) + " " + c.a);
    EXPECT_EQ(patchbuild::foldName(c.a, c.codePage) == patchbuild::foldName(c.b, c.codePage), c.same);
  }
  // The key of a double-byte name splits at its real separators only.
  EXPECT_EQ(patchbuild::foldName("data\\\x95\x5C.txt", 932), "data\\\u8868.txt");
  EXPECT_EQ(patchbuild::separatorOffsets("data\\\x95\x5C.txt", 932), std::vector<size_t>{4});
  // The updater's own name check, in the project's code page: a system in code page 932 reads
  // "\u8868CON.txt" as one name, while one reading bytes would find the device CON after a 0x5C.
  const char* tableCon = "data\\\x95\x5C" "CON.txt";
  EXPECT_TRUE(isSafeRelativeName(tableCon, patchbuild::leadByteTestFor(932)));
  EXPECT_FALSE(isSafeRelativeName(tableCon, patchbuild::leadByteTestFor(1252)));
}

TEST(CodePage, SaysWhichCharacterCannotBeHeld) {
  std::string out, error;
  EXPECT_FALSE(patchbuild::toCodePage("ok \xE2\x98\x83", 1252, out, error));
  EXPECT_EQ(error, "has the character \"\xE2\x98\x83\" (U+2603), which code page 1252 cannot hold");
  EXPECT_FALSE(patchbuild::toCodePage("bad \xFF utf8", 1252, out, error));
  EXPECT_NE(error.find("not valid UTF-8"), std::string::npos);
  EXPECT_FALSE(patchbuild::toCodePage(std::string("nul\0here", 8), 1252, out, error));
  EXPECT_NE(error.find("zero character"), std::string::npos);
  EXPECT_FALSE(patchbuild::isKnownCodePage(4242));
}

}  // namespace
