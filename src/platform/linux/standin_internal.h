// Shared between the stand-in's files: each model resets itself, and file operations
// ask the fault model whether they may go ahead.
#pragma once
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
}  // namespace standin
