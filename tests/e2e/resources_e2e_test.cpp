// The executable's own resources, read back from the built files as Windows reads them: the
// dialog template (styles, positions, sizes, font, controls in tab order), the icon and the
// version information, in the shipped 32-bit build and in the 64-bit build that the other tests
// run.
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "driver/host_paths.h"
#include "e2e_fixture.h"
#include "project_version.h"

namespace {

struct ControlTemplate {
  int id;
  std::string className;
  std::string text;
  uint32_t style, exStyle;
  int x, y, width, height;
  bool operator==(const ControlTemplate&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ControlTemplate& c) {
  return out << "{" << c.id << ", " << c.className << ", \"" << c.text << "\", style 0x" << std::hex << c.style
             << ", ex 0x" << c.exStyle << std::dec << ", " << c.x << "," << c.y << " " << c.width << "x" << c.height
             << "}";
}

struct DialogTemplate {
  uint32_t style = 0, exStyle = 0;
  int x = 0, y = 0, width = 0, height = 0;
  std::string menu, windowClass, caption;
  int pointSize = 0, weight = 0, italic = 0, charset = 0;
  std::string font;
  std::vector<ControlTemplate> controls;
};

// Reads the extended dialog template's fields in order: words, dwords, and "name or ordinal"
// fields (0: none; 0xFFFF: an ordinal follows; else a zero-terminated UTF-16 name).
class TemplateReader {
 public:
  explicit TemplateReader(const uint8_t* bytes) : start_(bytes), at_(bytes) {}
  uint16_t word() { uint16_t v; std::memcpy(&v, at_, 2); at_ += 2; return v; }
  uint32_t dword() { uint32_t v; std::memcpy(&v, at_, 4); at_ += 4; return v; }
  int16_t coordinate() { return static_cast<int16_t>(word()); }
  uint8_t byte() { return *at_++; }
  std::string text() {
    std::string out;
    for (uint16_t c = word(); c != 0; c = word()) out += static_cast<char>(c);
    return out;
  }
  std::string nameOrOrdinal() {
    uint16_t first;
    std::memcpy(&first, at_, 2);
    if (first == 0xFFFF) {
      word();
      uint16_t ordinal = word();
      // The predefined classes as the resource compiler stores them.
      if (ordinal == 0x80) return "BUTTON";
      if (ordinal == 0x82) return "STATIC";
      return "#" + std::to_string(ordinal);
    }
    // Class names compare without regard to case; the resource compiler stores them upper-cased.
    std::string name = text();
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
  }
  void alignToDword() { at_ += (4 - (at_ - start_) % 4) % 4; }
  void skip(size_t count) { at_ += count; }

 private:
  const uint8_t* start_;
  const uint8_t* at_;
};

DialogTemplate parseDialog(const uint8_t* bytes) {
  TemplateReader in(bytes);
  DialogTemplate dialog;
  EXPECT_EQ(in.word(), 1) << "extended template version";
  EXPECT_EQ(in.word(), 0xFFFF) << "extended template signature";
  in.dword();  // help id
  dialog.exStyle = in.dword();
  dialog.style = in.dword();
  int count = in.word();
  dialog.x = in.coordinate(), dialog.y = in.coordinate(), dialog.width = in.coordinate(), dialog.height = in.coordinate();
  dialog.menu = in.nameOrOrdinal();
  dialog.windowClass = in.nameOrOrdinal();
  dialog.caption = in.text();
  dialog.pointSize = in.word(), dialog.weight = in.word(), dialog.italic = in.byte(), dialog.charset = in.byte();
  dialog.font = in.text();
  for (int i = 0; i < count; i++) {
    in.alignToDword();
    ControlTemplate control;
    in.dword();  // help id
    control.exStyle = in.dword();
    control.style = in.dword();
    control.x = in.coordinate(), control.y = in.coordinate(), control.width = in.coordinate(), control.height = in.coordinate();
    control.id = static_cast<int>(in.dword());
    control.className = in.nameOrOrdinal();
    control.text = in.text();
    in.skip(in.word());  // creation data
    dialog.controls.push_back(control);
  }
  return dialog;
}

const std::vector<ControlTemplate> kControls = {
    {1005, "BUTTON", "P", 0x58010000, 0, 147, 48, 61, 14},
    {2, "BUTTON", "C", 0x58010000, 0, 278, 48, 61, 14},
    {1006, "BUTTON", "B", 0x58010000, 0, 420, 7, 61, 14},
    {1013, "STATIC", "L", 0x50020202, 0, 7, 7, 43, 14},
    {1000, "MSCTLS_PROGRESS32", "Progress1", 0x50800001, 0, 7, 69, 474, 14},
    {1010, "STATIC", "I", 0x50020201, 0, 7, 27, 474, 14},
    {1009, "STATIC", "G", 0x50020201, 0x00020000, 56, 7, 353, 14},
};

class Resources : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    std::string exe = std::string(GetParam()) == "shipped" ? shippedExe() : updaterExe();
    module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module) << exe << " cannot be read (error " << GetLastError() << ")";
  }
  void TearDown() override {
    if (module) FreeLibrary(module);
  }
  const uint8_t* resource(int id, LPCSTR type, DWORD* size = nullptr) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (!found) return nullptr;
    if (size) *size = SizeofResource(module, found);
    return static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
  }
  HMODULE module = nullptr;
};

TEST_P(Resources, DialogTemplateIsExactlyAsDesigned) {
  const uint8_t* bytes = resource(107, RT_DIALOG);
  ASSERT_TRUE(bytes);
  DialogTemplate dialog = parseDialog(bytes);
  EXPECT_EQ(dialog.style, 0x80C80840u) << "popup, caption, system menu, centred, own font; not visible";
  EXPECT_EQ(dialog.exStyle, 0u);
  EXPECT_EQ(std::vector<int>({dialog.x, dialog.y, dialog.width, dialog.height}), std::vector<int>({0, 0, 488, 90}));
  EXPECT_EQ(dialog.menu, "");
  EXPECT_EQ(dialog.windowClass, "");
  EXPECT_EQ(dialog.caption, "A");
  EXPECT_EQ(dialog.font, "MS Sans Serif");
  EXPECT_EQ(std::vector<int>({dialog.pointSize, dialog.weight, dialog.italic, dialog.charset}),
            std::vector<int>({8, 0, 0, 1}));
  EXPECT_EQ(dialog.controls, kControls);
}

TEST_P(Resources, IconIsOne32By32ImageOf16Colours) {
  DWORD size = 0;
  const uint8_t* group = resource(101, RT_GROUP_ICON, &size);
  ASSERT_TRUE(group);
  ASSERT_GE(size, 6u + 14u);
  uint16_t count;
  std::memcpy(&count, group + 4, 2);
  EXPECT_EQ(count, 1);
  const uint8_t* entry = group + 6;  // width, height, colour count, reserved, planes, bits per pixel...
  EXPECT_EQ(entry[0], 32);
  EXPECT_EQ(entry[1], 32);
  EXPECT_EQ(entry[2], 16);
}

// What Explorer's properties and the administrator prompt show: the product and the project's
// one version number, in words and in numbers.
TEST_P(Resources, VersionInformationNamesTheProductAndTheProjectsVersion) {
  std::string exe = std::string(GetParam()) == "shipped" ? shippedExe() : updaterExe();
  DWORD ignored = 0, size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
  ASSERT_GT(size, 0u) << "no version information";
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, data.data()));
  auto value = [&](const char* key) {
    char* text = nullptr;
    UINT length = 0;
    std::string query = std::string("\\StringFileInfo\\040904b0\\") + key;
    return VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) && text
               ? std::string(text)
               : std::string("(none)");
  };
  EXPECT_EQ(value("ProductName"), "Patch Utility");
  EXPECT_EQ(value("FileDescription"), "Patch Utility");
  EXPECT_EQ(value("ProductVersion"), PATCH_UTILITY_VERSION);
  EXPECT_EQ(value("FileVersion"), PATCH_UTILITY_VERSION);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
                        "." + std::to_string(HIWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(numbers, std::string(PATCH_UTILITY_VERSION).substr(0, numbers.size()));
}

INSTANTIATE_TEST_SUITE_P(Builds, Resources, ::testing::Values("shipped", "tested"));

}  // namespace
