#include "ui/folder_selection.h"

#include <cstring>

#include "messages/message_table.h"
#include "platform/window.h"
#include "feedback/resource_ids.h"

bool selectFolder(PatchState& state) {
  char chosen[kFolderPathCapacity];
  if (!browseForFolder(state.dialog, lookupText(state, "T_SELECTFOLDER"), chosen)) return false;
  copyText(state.installFolder, kPathCapacity, chosen);
  setControlText(state.dialog, IDC_FOLDER, state.installFolder);
  // A drive root shows as "C:\" but is kept as "C:": paths are formed with "%s\%s", which puts
  // the backslash back.
  size_t length = std::strlen(state.installFolder);
  if (length > 0 && state.installFolder[length - 1] == '\\') state.installFolder[length - 1] = '\0';
  return true;
}
