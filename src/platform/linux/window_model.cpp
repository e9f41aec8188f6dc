// Stand-in for the user interface: one modelled dialog whose controls record what a user
// would see, a message queue that tests fill, and a folder browser that answers as told.
#include <cstring>
#include <deque>
#include <map>

#include "platform/linux/standin_internal.h"
#include "platform/window.h"

struct PlatformWindow {
  int unused;
};

namespace standin {
namespace {

struct ControlModel {
  std::string text;
  bool enabled = false;  // the template starts every button disabled
  int rangeLow = 0, rangeHigh = 100;
  std::vector<int> positions;
};

struct WindowModel {
  std::map<int, ControlModel> controls;
  std::string caption;
  bool shown = false;
  int icon = 0;
  std::vector<unsigned> beeps;
  std::vector<MessageBox> boxes;
  std::deque<std::function<void()>> queue;
  int drains = 0;
  std::optional<std::string> browseResult;
  std::vector<std::string> browseTitles;
};

WindowModel model;
PlatformWindow theDialog{0};

}  // namespace

void resetWindow() { model = WindowModel{}; }

PlatformWindow* dialogWindow() { return &theDialog; }
std::string controlText(int controlId) { return model.controls[controlId].text; }
bool controlEnabled(int controlId) { return model.controls[controlId].enabled; }
std::vector<int> progressPositions(int controlId) { return model.controls[controlId].positions; }
std::pair<int, int> progressRange(int controlId) {
  return {model.controls[controlId].rangeLow, model.controls[controlId].rangeHigh};
}
std::string windowCaption() { return model.caption; }
bool dialogShown() { return model.shown; }
int dialogIcon() { return model.icon; }
std::vector<unsigned> beeps() { return model.beeps; }
std::vector<MessageBox> messageBoxes() { return model.boxes; }
void postMessage(std::function<void()> action) { model.queue.push_back(std::move(action)); }
int drainCount() { return model.drains; }
void setBrowseResult(std::optional<std::string> path) { model.browseResult = std::move(path); }
std::vector<std::string> browseTitles() { return model.browseTitles; }

void reset() {
  resetFiles();
  resetRegistry();
  resetProcess();
  resetWindow();
  resetCodePage();
}

}  // namespace standin

using standin::model;

void setControlText(PlatformWindow*, int controlId, const char* text) {
  model.controls[controlId].text = text;
}
void setWindowCaption(PlatformWindow*, const char* text) { model.caption = text; }
void enableControl(PlatformWindow*, int controlId, bool enabled) {
  model.controls[controlId].enabled = enabled;
}
void setProgressRange(PlatformWindow*, int controlId, int low, int high) {
  model.controls[controlId].rangeLow = low;
  model.controls[controlId].rangeHigh = high;
}
void setProgressPosition(PlatformWindow*, int controlId, int position) {
  model.controls[controlId].positions.push_back(position);
}
void setDialogIcon(PlatformWindow*, PlatformModule*, int iconId) { model.icon = iconId; }
void showDialogNow(PlatformWindow*) { model.shown = true; }
void showMessageBox(const char* text, const char* caption, unsigned iconFlags) {
  model.boxes.push_back({text, caption, iconFlags});
}
void messageBeep(unsigned type) { model.beeps.push_back(type); }

void dispatchWaitingMessages() {
  model.drains++;
  while (!model.queue.empty()) {
    std::function<void()> action = std::move(model.queue.front());
    model.queue.pop_front();
    action();
  }
}

bool browseForFolder(PlatformWindow*, const char* title, char* path) {
  model.browseTitles.push_back(title);
  if (!model.browseResult) return false;
  std::strncpy(path, model.browseResult->c_str(), kFolderPathCapacity - 1);
  path[kFolderPathCapacity - 1] = '\0';
  return true;
}
