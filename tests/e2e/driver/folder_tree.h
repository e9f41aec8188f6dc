// Chooses a folder in the system's folder browser the way a user does: by opening the tree
// view's items down to it and selecting it. The browser lives in another process, so every
// item text is read through memory placed in that process.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "driver/updater_process.h"

// Selects `folder` ("E:\3\Older Sample") in the tree of `browser`. False, with the item texts
// seen on the way in `seen`, when some part of the path was not found.
bool selectFolderInTree(const UpdaterProcess& process, HWND browser, const std::string& folder,
                        std::vector<std::string>* seen);

// Selects the item under which the drives are listed ("My Computer"): a folder of the shell that
// has no file-system path. False, with the texts seen in `seen`, when no such item was found.
bool selectDrivesItemInTree(const UpdaterProcess& process, HWND browser, std::vector<std::string>* seen);
