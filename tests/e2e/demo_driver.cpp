// The test driver's part in `make demo`: embeds the demo's patch into a copy of the updater,
// and, where nobody watches, runs it as a user would: waits for its verdict, presses Update,
// waits for the outcome, presses Done, and photographs each step.
//
//   demo_driver embed UPDATER.exe PATCH.pat OUT.exe
//   demo_driver run UPDATER.exe SCREENSHOT_PREFIX      (exit code 0 when the update was applied)
#include <cstdio>
#include <string>

#include "driver/host_files.h"
#include "driver/screenshot.h"
#include "driver/updater_run.h"
#include "feedback/resource_ids.h"

namespace {

// Nothing is running once Cancel is usable again and the bar is back at 0.
bool idle(const DialogView& view) { return view.enabled.cancel && view.progress == 0; }

void photograph(HWND window, const std::string& name) {
  if (saveScreenshot(window, name)) std::printf("demo: screenshot %s.png\n", name.c_str());
}

int run(const std::string& exe, const std::string& shotPrefix) {
  char folder[MAX_PATH];
  GetCurrentDirectoryA(sizeof folder, folder);
  UpdaterRun updater(exe, folder);
  if (!updater.waitForView(idle)) {
    std::printf("demo: the updater did not come to rest: %s\n", updater.lastSeen().c_str());
    return 1;
  }
  DialogView before = updater.view();
  std::printf("demo: the updater says \"%s\" (folder %s)\n", before.status.c_str(), before.folder.c_str());
  photograph(updater.dialog(), shotPrefix + "-1-found");
  if (!before.enabled.update) {
    std::printf("demo: there is nothing to update\n");
    clickButton(updater.dialog(), IDCANCEL);
    updater.waitForExit(kWaitMs);
    return 1;
  }
  std::printf("demo: pressing \"%s\"\n", before.update.c_str());
  clickButton(updater.dialog(), IDC_UPDATE);
  if (!updater.waitForView([&](const DialogView& view) { return idle(view) && view.status != before.status; })) {
    std::printf("demo: the update did not finish: %s\n", updater.lastSeen().c_str());
    return 1;
  }
  DialogView after = updater.view();
  std::printf("demo: the updater says \"%s\"\n", after.status.c_str());
  photograph(updater.dialog(), shotPrefix + "-2-updated");
  bool applied = after.enabled.update;  // Done is offered only after a successful update
  std::printf("demo: pressing \"%s\"\n", applied ? after.update.c_str() : after.cancel.c_str());
  clickButton(updater.dialog(), applied ? IDC_UPDATE : IDCANCEL);
  std::optional<DWORD> code = updater.waitForExit(kWaitMs);
  std::printf("demo: the updater ended with exit code %s\n", code ? std::to_string(*code).c_str() : "(still running)");
  return applied && code == 0u ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "embed" && argc == 5) return embedContainer(argv[2], readBytes(argv[3]), argv[4]) ? 0 : 1;
  if (command == "run" && argc == 4) return run(argv[2], argv[3]);
  std::fprintf(stderr, "usage: demo_driver embed UPDATER.exe PATCH.pat OUT.exe | run UPDATER.exe SCREENSHOT_PREFIX\n");
  return 2;
}
