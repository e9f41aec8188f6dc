// The dialog on a high-DPI screen (144 DPI, 150 %): the updater declares itself DPI aware, so
// it is laid out again at the screen's resolution, with a larger font and every dialog unit
// larger with it, instead of being drawn at 96 DPI and stretched into a blurred picture.
#define WINVER 0x0A00
#define _WIN32_WINNT 0x0A00
#include <tuple>

#include "driver/host_paths.h"
#include "e2e_fixture.h"
#include "writer/container_writer.h"

namespace {

// Where Wine (like Windows) reads the screen's resolution when a program starts.
const char kDesktopKey[] = "Control Panel\\Desktop";

void setScreenDpi(DWORD dpi) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  LONG result = RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
  RegCloseKey(key);
  ASSERT_EQ(result, ERROR_SUCCESS);
}

void forgetScreenDpi() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, "LogPixels");
  RegCloseKey(key);
}

// What the dialog looks like in real pixels, read as a per-monitor-aware program reads it, so
// that no coordinate is scaled on the way.
struct Layout {
  SIZE client = {}, updateButton = {};
};

SIZE sizeOf(const RECT& r) { return {r.right - r.left, r.bottom - r.top}; }

Layout measure(HWND dialog) {
  DPI_AWARENESS_CONTEXT previous = SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  Layout layout;
  RECT rect;
  GetClientRect(dialog, &rect);
  layout.client = sizeOf(rect);
  GetWindowRect(GetDlgItem(dialog, IDC_UPDATE), &rect);
  layout.updateButton = sizeOf(rect);
  if (previous) SetThreadDpiAwarenessContext(previous);
  return layout;
}

// A setting of the executable's manifest as the loader reads it (its activation context);
// "" when the manifest does not declare it.
std::string manifestSetting(const std::string& exe, const wchar_t* space, const wchar_t* name) {
  ACTCTXA request = {};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = exe.c_str();
  request.lpResourceName = MAKEINTRESOURCEA(1);
  HANDLE context = CreateActCtxA(&request);
  if (context == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << exe << ": no activation context (error " << GetLastError() << ")";
    return "";
  }
  wchar_t value[128] = {};
  SIZE_T written = 0;
  std::string out;
  if (QueryActCtxSettingsW(0, context, space, name, value, 128, &written))
    for (const wchar_t* c = value; *c; c++) out += static_cast<char>(*c);
  ReleaseActCtx(context);
  return out;
}

class HighDpi : public UpdaterE2ETest {
 protected:
  void SetUp() override {
    UpdaterE2ETest::SetUp();
    update = sample::makeSampleUpdate();
    providePatchFile(patchwriter::makeContainer(update.writer.registryPath(registryPath()).build()));
    pointRegistryAt(installFolder());
    sample::install(update.v0, installFolder());
  }
  void TearDown() override {
    forgetScreenDpi();  // every other test runs at the prefix's 96 DPI
    UpdaterE2ETest::TearDown();
  }

  // Runs the updater to its "ready" state, measures and photographs it, and cancels.
  Layout readyDialogAt(DWORD dpi, const std::string& shot) {
    setScreenDpi(dpi);
    auto run = start();
    Layout layout;
    EXPECT_TRUE(run->waitForState(sample::readyText(0), sample::kUpdate, {true, true, true})) << run->lastSeen();
    if (!run->dialog()) return layout;
    layout = measure(run->dialog());
    screenshot(run->dialog(), shot);
    clickButton(run->dialog(), IDCANCEL);
    EXPECT_EQ(run->waitForExit(kWaitMs), 0u);
    return layout;
  }

  sample::SampleUpdate update;
};

TEST_F(HighDpi, TheDialogIsLaidOutAtTheScreensResolution) {
  Layout normal = readyDialogAt(96, "dialog-96dpi");
  Layout high = readyDialogAt(144, "dialog-144dpi");
  // The layout grows with the font: about half as large again, in both directions.
  for (auto [name, small, large] : {std::tuple{"dialog width", normal.client.cx, high.client.cx},
                                    std::tuple{"dialog height", normal.client.cy, high.client.cy},
                                    std::tuple{"button width", normal.updateButton.cx, high.updateButton.cx},
                                    std::tuple{"button height", normal.updateButton.cy, high.updateButton.cy}}) {
    SCOPED_TRACE(name);
    ASSERT_GT(small, 0);
    double ratio = static_cast<double>(large) / small;
    EXPECT_GT(ratio, 1.3) << small << " -> " << large;
    EXPECT_LT(ratio, 1.7) << small << " -> " << large;
  }
}

// Windows stretches the picture of a program that does not declare itself aware, which Wine
// never does: the declaration is read as Windows reads it, from both builds.
TEST(DpiAwareness, BothBuildsDeclareItPerMonitor) {
  for (const std::string& exe : {updaterExe(), shippedExe()}) {
    SCOPED_TRACE(exe);
    EXPECT_EQ(manifestSetting(exe, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness"),
              "PerMonitorV2,PerMonitor");
    // Windows before 10 (1607) reads only this older setting.
    EXPECT_EQ(manifestSetting(exe, nullptr, L"dpiAware"), "true/pm");
  }
}

}  // namespace
