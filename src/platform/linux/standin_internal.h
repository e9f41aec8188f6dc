// Shared between the stand-in's files: each model resets itself, and file operations
// ask the fault model whether they may go ahead.
#pragma once
#include <optional>

#include "platform/linux/standin.h"

namespace standin {
void resetFiles();
void resetRegistry();
void resetProcess();
void resetWindow();
void resetCodePage();
// Counts the operation and answers whether it may go ahead (false: simulate a failure).
// `secondPath` is a rename's destination: it is only checked against the confinement root.
bool fileOpAllowed(FileOp op, const char* path, const char* secondPath = nullptr);

// Provided by the file model that is linked (real files or in memory): whether `path` (null:
// no path) lies inside the confinement root; a path outside it is recorded as a violation.
bool insideConfinement(const char* path);
// The fault bookkeeping's part of resetFiles().
void resetFileFaults();
// True when a test limited folder paths (as Windows without long paths does) and `path` is longer.
bool folderPathTooLong(const char* path);
// Records a free-space query. False when the test made queries fail; `figure` is the answer a
// test set, if any.
bool freeSpaceQueryAllowed(const char* folder, std::optional<uint64_t>& figure);
}  // namespace standin
