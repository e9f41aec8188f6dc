#include "ui/folder_selection.h"

#include <cstring>

#include "messages/message_table.h"
#include "patchdata/narrow_text.h"
#include "platform/window.h"
#include "feedback/resource_ids.h"

bool selectFolder(PatchState& state) {
  char chosen[kFolderPathCapacity];
  if (!browseForFolder(state.dialog, lookupText(state, "T_SELECTFOLDER"), chosen)) return false;
  copyText(state.installFolder, kPathCapacity, chosen);
  setControlText(state.dialog, IDC_FOLDER, state.installFolder);
  // A drive root shows as "C:\" but is kept as "C:": paths are formed with "%s\%s", which puts
  // the backslash back. The last byte alone does not tell: a folder named with the Japanese
  // character 0x83 0x5C ends in that byte, and stripping it would cut the character in half.
  if (endsInBackslash(state.installFolder)) state.installFolder[std::strlen(state.installFolder) - 1] = '\0';
  return true;
}
