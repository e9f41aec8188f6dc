// The vendor's branding of the update executable: the icon and version information of the
// project's [exe] table replace the updater's own, read back from the written file and, under
// Wine, as Windows reads them; keys left out keep the updater's values; bad input is refused in
// one line before anything is built.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "patchbuild/exe_branding.h"
#include "patchbuild/folder_scan.h"
#include "patchbuild/icon_file.h"
#include "patchbuild/pe_resource.h"
#include "patchbuild/update_exe.h"
#include "patchbuild/version_resource.h"
#include "project_version.h"
#include "support/patch_project.h"
#include "support/wine_run.h"
#include "writer/container_writer.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using namespace patchbuild;

namespace {

// An icon file of square 32-bit bitmaps, each filled with one colour (0xRRGGBB), so that which
// image Windows picks for a size shows in its centre pixel.
Bytes iconFile(const std::vector<std::pair<int, uint32_t>>& images) {
  Bytes file = {0, 0, 1, 0, static_cast<uint8_t>(images.size()), 0};
  std::vector<Bytes> bodies;
  for (const auto& [size, colour] : images) {
    Bytes body(40, 0);
    patchwriter::writeU32(body, 0, 40);
    patchwriter::writeU32(body, 4, static_cast<uint32_t>(size));
    patchwriter::writeU32(body, 8, static_cast<uint32_t>(2 * size));  // the colours, then the mask
    body[12] = 1;
    body[14] = 32;
    for (int pixel = 0; pixel < size * size; pixel++) {
      body.push_back(static_cast<uint8_t>(colour));
      body.push_back(static_cast<uint8_t>(colour >> 8));
      body.push_back(static_cast<uint8_t>(colour >> 16));
      body.push_back(0xFF);
    }
    body.resize(body.size() + static_cast<size_t>((size + 31) / 32 * 4 * size), 0);  // nothing masked out
    bodies.push_back(body);
  }
  size_t offset = 6 + 16 * images.size();
  for (size_t i = 0; i < images.size(); i++) {
    Bytes entry(16, 0);
    entry[0] = entry[1] = static_cast<uint8_t>(images[i].first);
    entry[4] = 1;
    entry[6] = 32;
    patchwriter::writeU32(entry, 8, static_cast<uint32_t>(bodies[i].size()));
    patchwriter::writeU32(entry, 12, static_cast<uint32_t>(offset));
    file.insert(file.end(), entry.begin(), entry.end());
    offset += bodies[i].size();
  }
  for (const Bytes& body : bodies) file.insert(file.end(), body.begin(), body.end());
  return file;
}

constexpr uint32_t kBlue = 0x2040C0, kRed = 0xD02020, kGreen = 0x20A040;
const std::vector<std::pair<int, uint32_t>> kThreeSizes = {{16, kBlue}, {32, kRed}, {48, kGreen}};

#ifdef TEMPLATES_DIR

std::string templatePath(const std::string& name) { return std::string(TEMPLATES_DIR) + "/" + name; }

Bytes templateImage(const std::string& name) {
  Bytes image;
  EXPECT_TRUE(readWholeFile(templatePath(name), image)) << name;
  return image;
}

Bytes sampleContainer() {
  patchwriter::PayloadWriter writer;
  writer.registryPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\Test").message("T_MAINTITLE", "Test");
  return patchwriter::makeContainer(writer.build());
}

ExeBranding fullBranding(const Bytes& icon) {
  ExeBranding branding;
  branding.present = true;
  std::string why;
  EXPECT_TRUE(parseIconFile(icon, branding.icon, why)) << why;
  branding.productName = "Example";
  branding.productVersion = "1.2.0";
  branding.versionNumbers = {1, 2, 0, 0};
  branding.company = "Example Ltd";
  branding.description = "Example 1.2 Update";
  branding.copyright = "\xC2\xA9 2026 Example Ltd";
  return branding;
}

// What the written file holds, read back through the resource tree.
struct Readback {
  std::vector<uint16_t> groupIds;                // group 101's images
  std::map<uint16_t, Bytes> icons;               // every RT_ICON
  VersionInfo version;
  Bytes patchData;
  std::set<std::string> others;                  // every other resource, "type/name"
};

Readback readBack(const Bytes& image) {
  Readback back;
  std::vector<PeResource> resources;
  std::string error;
  EXPECT_TRUE(listResources(image, resources, error)) << error;
  for (const PeResource& r : resources) {
    if (r.type == "#14" && r.name == "#101") back.groupIds = iconGroupIds(r.data);
    else if (r.type == "#3") back.icons[static_cast<uint16_t>(std::stoi(r.name.substr(1)))] = r.data;
    else if (r.type == "#16") EXPECT_TRUE(parseVersionInfo(r.data, back.version, error)) << error;
    else if (r.name == "PATCHDATA") back.patchData = r.data;
    else back.others.insert(r.type + "/" + r.name);
  }
  return back;
}

std::string text(const VersionInfo& info, const char16_t* key) {
  const std::u16string* value = info.find(key);
  return value ? utf8Of(*value) : "(none)";
}

uint32_t storedChecksum(const Bytes& image) {
  size_t pe = image[0x3C] | image[0x3D] << 8;
  size_t at = pe + 24 + 64;
  return image[at] | image[at + 1] << 8 | image[at + 2] << 16 | uint32_t{image[at + 3]} << 24;
}

TEST(ExeBranding, TheIconAndVersionReplaceTheUpdatersOwnAndEverythingElseIsKept) {
  Bytes icon = iconFile(kThreeSizes);
  std::vector<IconImage> images;
  std::string why;
  ASSERT_TRUE(parseIconFile(icon, images, why)) << why;
  // With its own icon and version resource (32- and 64-bit), and with no resources at all.
  for (const char* name : {"reader32_rc.exe", "reader64_rc.exe", "reader64.exe"}) {
    SCOPED_TRACE(name);
    Bytes image = templateImage(name), result;
    Readback before = readBack(image);
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(makeUpdateExe(image, sampleContainer(), fullBranding(icon), result, warnings, error)) << error;
    EXPECT_TRUE(warnings.empty());
    Readback after = readBack(result);

    ASSERT_EQ(after.groupIds.size(), 3u);
    std::set<uint16_t> iconIds;
    for (const auto& [id, data] : after.icons) iconIds.insert(id);
    EXPECT_EQ(iconIds, std::set<uint16_t>(after.groupIds.begin(), after.groupIds.end())) << "no image left over";
    for (size_t i = 0; i < images.size(); i++) EXPECT_EQ(after.icons[after.groupIds[i]], images[i].data);
    if (!before.groupIds.empty()) EXPECT_EQ(after.groupIds[0], before.groupIds[0]) << "the old id is reused first";

    EXPECT_EQ(text(after.version, u"ProductName"), "Example");
    EXPECT_EQ(text(after.version, u"ProductVersion"), "1.2.0");
    EXPECT_EQ(text(after.version, u"FileVersion"), "1.2.0");
    EXPECT_EQ(text(after.version, u"CompanyName"), "Example Ltd");
    EXPECT_EQ(text(after.version, u"FileDescription"), "Example 1.2 Update");
    EXPECT_EQ(text(after.version, u"LegalCopyright"), "\xC2\xA9 2026 Example Ltd");
    EXPECT_EQ(after.version.fixed[2], 0x00010002u);  // file version 1.2
    EXPECT_EQ(after.version.fixed[3], 0u);           // .0.0
    EXPECT_EQ(after.version.fixed[4], 0x00010002u);  // product version 1.2

    EXPECT_EQ(after.patchData, sampleContainer());
    EXPECT_EQ(after.others, before.others);
    EXPECT_EQ(storedChecksum(result), peChecksum(result));
  }
}

TEST(ExeBranding, KeysLeftOutKeepTheUpdatersOwnValues) {
  Bytes image = templateImage("reader64_rc.exe"), result;
  Readback before = readBack(image);
  ExeBranding branding;
  branding.present = true;
  branding.productName = "Example";
  std::vector<std::string> warnings;
  std::string error;
  ASSERT_TRUE(makeUpdateExe(image, sampleContainer(), branding, result, warnings, error)) << error;
  Readback after = readBack(result);
  EXPECT_EQ(text(after.version, u"ProductName"), "Example");
  EXPECT_EQ(text(after.version, u"FileDescription"), "template for patchbuild tests");
  EXPECT_EQ(after.version.fixed, before.version.fixed) << "the numbers stay 1.2.3.4";
  EXPECT_EQ(after.version.tableKey, before.version.tableKey);
  EXPECT_EQ(after.groupIds, before.groupIds);
  EXPECT_EQ(after.icons, before.icons);
}

TEST(ExeBranding, ASmallerIconLeavesNoImageBehind) {
  Bytes three, one;
  std::vector<std::string> warnings;
  std::string error;
  ASSERT_TRUE(makeUpdateExe(templateImage("reader64_rc.exe"), sampleContainer(), fullBranding(iconFile(kThreeSizes)),
                            three, warnings, error)) << error;
  ASSERT_TRUE(makeUpdateExe(three, sampleContainer(), fullBranding(iconFile({{24, kRed}})), one, warnings, error))
      << error;
  Readback after = readBack(one);
  ASSERT_EQ(after.groupIds.size(), 1u);
  ASSERT_EQ(after.icons.size(), 1u);
  EXPECT_EQ(after.icons.begin()->first, after.groupIds[0]);
}

TEST(ExeBrandingWine, WindowsReadsTheBrandingBack) {
  std::string why;
  if (!wineCanRun(why)) GTEST_SKIP() << why;
  TempFolder folder;
  for (const char* name : {"reader64_rc.exe", "reader64.exe"}) {
    SCOPED_TRACE(name);
    Bytes result;
    std::vector<std::string> warnings;
    std::string error, out;
    ASSERT_TRUE(makeUpdateExe(templateImage(name), sampleContainer(), fullBranding(iconFile(kThreeSizes)), result,
                              warnings, error)) << error;
    folder.write(std::string("branded-") + name, result);
    ASSERT_TRUE(runUnderWine(templatePath("branding_reader.exe"),
                             "'" + windowsPathOf(folder.at(std::string("branded-") + name)) + "'", folder.path(), out))
        << out;
    char checksum[64];
    std::snprintf(checksum, sizeof checksum, "checksum stored %08x computed %08x\n", peChecksum(result), peChecksum(result));
    for (const std::string& line :
         {std::string(checksum), std::string("fixed file 1.2.0.0 product 1.2.0.0\n"),
          std::string("CompanyName=Example Ltd\n"), std::string("FileDescription=Example 1.2 Update\n"),
          std::string("FileVersion=1.2.0\n"), std::string("LegalCopyright=\xC2\xA9 2026 Example Ltd\n"),
          std::string("ProductName=Example\n"), std::string("ProductVersion=1.2.0\n"),
          std::string("icon 16 16x16 centre 2040c0\n"), std::string("icon 32 32x32 centre d02020\n"),
          std::string("icon 48 48x48 centre 20a040\n")})
      EXPECT_NE(out.find(line), std::string::npos) << line << "in:\n" << out;
  }
}

// The command line: `build --exe`, `exe --project`, the template beside the program, warnings
// and one-line refusals.
class ExeCommand : public ::testing::Test {
 protected:
  struct Outcome {
    int code = -1;
    std::string out, err;
  };
  Outcome run(const std::string& program, const std::string& arguments) {
    std::string command = program + " " + arguments + " >" + folder.at("stdout") + " 2>" + folder.at("stderr");
    int status = std::system(command.c_str());
    Outcome outcome;
    outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = asText(folder.read("stdout"));
    outcome.err = asText(folder.read("stderr"));
    return outcome;
  }
  Outcome run(const std::string& arguments) { return run(PATCHBUILD_EXECUTABLE, arguments); }
  static std::string asText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

  // A project of two versions whose [exe] table is `exe`, with an icon beside it.
  static void writeProject(PatchProject& project, const std::string& exe) {
    project.file(0, "app.exe", patterned(3000, 1)).file(1, "app.exe", patterned(3000, 2));
    project.root().write("app.ico", iconFile(kThreeSizes));
    project.extra("[exe]\n" + exe);
    project.writeProject();
  }
  const std::string kExe = "icon = \"app.ico\"\nproduct_name = \"Example\"\nproduct_version = \"1.2.0\"\n"
                           "description = \"Example 1.2 Update\"\n";

  TempFolder folder;
  PatchProject project{2};
};

TEST_F(ExeCommand, BuildWritesTheContainerAndTheBrandedUpdateInOneStep) {
  writeProject(project, kExe);
  std::string templateExe = templatePath("reader64_rc.exe");
  Outcome built = run("build --quiet " + project.projectPath() + " -o " + folder.at("patch.pat") + " --exe " +
                      folder.at("Update.exe") + " --template " + templateExe);
  ASSERT_EQ(built.code, 0) << built.err;
  EXPECT_EQ(built.err, "");
  Bytes update = folder.read("Update.exe");
  Readback back = readBack(update);
  EXPECT_EQ(back.patchData, folder.read("patch.pat"));
  EXPECT_EQ(text(back.version, u"FileDescription"), "Example 1.2 Update");
  EXPECT_EQ(back.groupIds.size(), 3u);
  // The same from the two steps a vendor may take instead.
  Outcome embedded = run("exe " + folder.at("patch.pat") + " --project " + project.projectPath() + " --template " +
                         templateExe + " -o " + folder.at("Update2.exe"));
  ASSERT_EQ(embedded.code, 0) << embedded.err;
  EXPECT_EQ(folder.read("Update2.exe"), update);
  // And branded again from an update, whose own container it keeps.
  Outcome again = run("exe " + folder.at("Update.exe") + " --project " + project.projectPath() + " --template " +
                      templateExe + " -o " + folder.at("Update3.exe"));
  ASSERT_EQ(again.code, 0) << again.err;
  EXPECT_EQ(folder.read("Update3.exe"), update);
}

TEST_F(ExeCommand, WithoutTemplateTheUpdaterBesideTheProgramIsUsed) {
  writeProject(project, kExe);
  folder.makeFolder("bundle");
  fs::copy_file(PATCHBUILD_EXECUTABLE, folder.at("bundle/patchbuild"));
  fs::permissions(folder.at("bundle/patchbuild"), fs::perms::owner_exec, fs::perm_options::add);
  std::string program = folder.at("bundle/patchbuild");
  std::string arguments = "build --quiet " + project.projectPath() + " -o " + folder.at("patch.pat") + " --exe " +
                          folder.at("Update.exe");
  Outcome missing = run(program, arguments);
  EXPECT_NE(missing.code, 0);
  EXPECT_EQ(missing.err, "patchbuild: no --template given, and there is no PatchUtility.exe beside patchbuild "
                         "(looked for " + folder.at("bundle/PatchUtility.exe") + ")\n");
  EXPECT_FALSE(folder.exists("patch.pat")) << "the build stops before it starts";
  fs::copy_file(templatePath("reader64_rc.exe"), folder.at("bundle/PatchUtility.exe"));
  Outcome built = run(program, arguments);
  ASSERT_EQ(built.code, 0) << built.err;
  EXPECT_EQ(text(readBack(folder.read("Update.exe")).version, u"ProductName"), "Example");
}

TEST_F(ExeCommand, ASignedTemplateLosesItsSignatureWithAWarning) {
  // A certificate table at the end of the file, as signing tools append it.
  Bytes image = templateImage("reader64_rc.exe");
  size_t pe = image[0x3C] | image[0x3D] << 8;
  size_t directory = pe + 24 + 112 + 8 * 4;
  uint32_t at = static_cast<uint32_t>(image.size());
  Bytes certificate = {16, 0, 0, 0, 0, 2, 2, 0, 'S', 'I', 'G', 'N', 'A', 'T', 'U', 'R'};
  image.insert(image.end(), certificate.begin(), certificate.end());
  patchwriter::writeU32(image, directory, at);
  patchwriter::writeU32(image, directory + 4, static_cast<uint32_t>(certificate.size()));
  folder.write("signed.exe", image);
  folder.write("patch.pat", sampleContainer());
  Outcome embedded = run("exe " + folder.at("patch.pat") + " --template " + folder.at("signed.exe") + " -o " +
                         folder.at("Update.exe"));
  ASSERT_EQ(embedded.code, 0) << embedded.err;
  EXPECT_EQ(embedded.err, "patchbuild: warning: the template was signed; its signature is removed, as it would no "
                          "longer match: sign the update executable again\n");
  Bytes update = folder.read("Update.exe");
  EXPECT_EQ(update[directory] | update[directory + 4], 0) << "the certificate table is gone";
  Outcome plain = run("exe " + folder.at("patch.pat") + " --template " + templatePath("reader64_rc.exe") + " -o " +
                      folder.at("Plain.exe"));
  EXPECT_EQ(plain.err, "") << "no warning for an unsigned template";
}

TEST_F(ExeCommand, BadInputIsOneLineAndNothingIsWritten) {
  Bytes cursor = iconFile({{32, kRed}});
  cursor[2] = 2;
  const std::pair<std::string, std::string> kCases[] = {
      {"icon = \"notes.ico\"", ":8: \"notes.ico\" is not an icon file: it does not start with an icon header"},
      {"icon = \"pointer.ico\"", "\"pointer.ico\" is not an icon file: it is a cursor, not an icon"},
      {"icon = \"absent.ico\"", "the icon file \"absent.ico\" cannot be read"},
      {"product_version = \"1.2b\"", "product_version \"1.2b\" is not a version: give one to four numbers"},
      {"product_version = \"1.2.3.4.5\"", "product_version \"1.2.3.4.5\" is not a version"},
      {"product_version = \"70000\"", "product_version \"70000\" is not a version"},
      {"version = \"1.2\"", "unknown key \"version\" in [exe] (expected icon, product_name, product_version"},
      {"product_name = 12", "product_name in [exe] must be a string"},
  };
  for (const auto& [line, expected] : kCases) {
    SCOPED_TRACE(line);
    PatchProject project(2);
    project.root().write("notes.ico", "just text");
    project.root().write("pointer.ico", cursor);
    writeProject(project, line + "\n");
    for (const std::string& arguments :
         {"build --quiet " + project.projectPath() + " -o " + folder.at("patch.pat") + " --exe " +
              folder.at("Update.exe") + " --template " + templatePath("reader64_rc.exe"),
          "exe " + folder.at("any.pat") + " --project " + project.projectPath() + " --template " +
              templatePath("reader64_rc.exe") + " -o " + folder.at("Update.exe")}) {
      Outcome outcome = run(arguments);
      EXPECT_NE(outcome.code, 0);
      EXPECT_EQ(outcome.err.rfind("patchbuild: " + project.projectPath() + ":", 0), 0u) << outcome.err;
      EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << "one line: " << outcome.err;
      EXPECT_NE(outcome.err.find(expected), std::string::npos) << outcome.err;
      EXPECT_FALSE(folder.exists("patch.pat"));
      EXPECT_FALSE(folder.exists("Update.exe"));
    }
  }
  folder.write("bare.toml", "registry = 'x'\n");
  Outcome bare = run("exe " + folder.at("any.pat") + " --project " + folder.at("bare.toml") + " --template " +
                     templatePath("reader64_rc.exe") + " -o " + folder.at("Update.exe"));
  EXPECT_EQ(bare.err, "patchbuild: " + folder.at("bare.toml") + ": the project file has no [exe] table\n");
}

#endif  // TEMPLATES_DIR

TEST(PatchbuildVersion, IsTheProjectsOneVersionNumber) {
  TempFolder folder;
  std::string command = std::string(PATCHBUILD_EXECUTABLE) + " --version >" + folder.at("out");
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(folder.read("out"), bytesOf("patchbuild " PATCH_UTILITY_VERSION "\n"));
}

TEST(IconFile, OnlyIconsWindowsCanShowAreAccepted) {
  Bytes good = iconFile({{32, kRed}});
  auto with = [&](size_t at, uint8_t value) {
    Bytes bytes = good;
    bytes[at] = value;
    return bytes;
  };
  struct Case {
    const char* name;
    Bytes bytes;
    const char* why;
  };
  const Case kCases[] = {
      {"a text file", bytesOf("registry = 'HKEY_LOCAL_MACHINE'\n"), "does not start with an icon header"},
      {"a cursor", with(2, 2), "is a cursor"},
      {"no images", with(4, 0), "holds no image"},
      {"an image past the end", with(21, 0x7F), "lies outside the file"},
      {"an image that is not a bitmap", with(22, 0x33), "neither a bitmap nor a PNG"},
      {"cut off in its list", Bytes(good.begin(), good.begin() + 12), "cut off"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<IconImage> images;
    std::string why;
    EXPECT_FALSE(parseIconFile(c.bytes, images, why));
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
  }
  std::vector<IconImage> images;
  std::string why;
  ASSERT_TRUE(parseIconFile(good, images, why)) << why;
  EXPECT_EQ(images.size(), 1u);
}

TEST(VersionNumbers, OneToFourNumbersUpTo65535) {
  const std::pair<const char*, VersionNumbers> kGood[] = {
      {"1", {1, 0, 0, 0}}, {"1.2.0", {1, 2, 0, 0}}, {"10.20.30.40", {10, 20, 30, 40}}, {"65535.0", {65535, 0, 0, 0}},
      {"007.1", {7, 1, 0, 0}}};
  for (const auto& [text, expected] : kGood) {
    VersionNumbers numbers;
    EXPECT_TRUE(parseVersionNumbers(text, numbers)) << text;
    EXPECT_EQ(numbers, expected) << text;
  }
  for (const char* text : {"", "1.", ".1", "1..2", "1.2.3.4.5", "65536", "1.2b", "-1", " 1", "v1.2", "1,2", "999999"}) {
    VersionNumbers numbers;
    EXPECT_FALSE(parseVersionNumbers(text, numbers)) << "\"" << text << "\"";
  }
}

TEST(VersionInfo, WhatIsWrittenReadsBackTheSame) {
  VersionInfo info = emptyVersionInfo();
  info.set(u"ProductName", utf16Of("Ex\xC3\xA4mple \xF0\x9F\x98\x80"));  // beyond the first plane too
  info.set(u"Comments", u"");
  info.setFileVersion({1, 2, 3, 4});
  VersionInfo back;
  std::string error;
  ASSERT_TRUE(parseVersionInfo(writeVersionInfo(info), back, error)) << error;
  EXPECT_EQ(back.strings, info.strings);
  EXPECT_EQ(back.fixed, info.fixed);
  EXPECT_EQ(back.tableKey, u"040904B0");
  EXPECT_EQ(utf8Of(*back.find(u"productname")), "Ex\xC3\xA4mple \xF0\x9F\x98\x80");
  Bytes damaged = writeVersionInfo(info);
  damaged[0] = 0xFF;  // the root block claims more than there is
  EXPECT_FALSE(parseVersionInfo(damaged, back, error));
}

// A template's resources and a vendor's icon are input: damaged ones are refused or read, never
// read past their ends (the sanitizer build watches every byte).
TEST(VersionInfo, DamagedResourcesAreReadOnlyWithinTheirBytes) {
  VersionInfo info = emptyVersionInfo();
  info.set(u"CompanyName", u"Example Ltd");
  info.set(u"ProductName", u"Example");
  const Bytes version = writeVersionInfo(info), icon = iconFile(kThreeSizes);
  for (uint32_t seed = 0; seed < 2000; seed++) {
    Bytes damagedVersion = version, damagedIcon = icon;
    Bytes noise = randomBytes(8, seed);
    for (int i = 0; i < 4; i++) {
      damagedVersion[noise[2 * i] % damagedVersion.size()] = noise[2 * i + 1];
      damagedIcon[noise[2 * i] % 80] = noise[2 * i + 1];  // the header, the entries, the first image's header
    }
    damagedVersion.resize(damagedVersion.size() - noise[0] % 16);
    VersionInfo back;
    std::vector<IconImage> images;
    std::string error;
    if (parseVersionInfo(damagedVersion, back, error)) writeVersionInfo(back);
    parseIconFile(damagedIcon, images, error);
  }
}

}  // namespace
