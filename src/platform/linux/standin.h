// Test hooks of the Linux stand-in. Only the stand-in provides these: through them a test
// sets what Windows would hold (registry values, the module resource, free space, a second
// instance), sees what a user would see (control texts, enabled buttons, progress positions,
// beeps, message boxes) and makes file operations fail on demand.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/registry.h"

struct PlatformWindow;

namespace standin {

// Returns every model to its start: no registry values, no resource, empty dialog, no faults.
void reset();

// ---- registry ----
// Two views, as on 64-bit Windows: the one this process sees by default and the other one.
// Stores a value as raw bytes of the given type, exactly as a registry would hold them.
void setRegistryValue(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                      uint32_t type, const std::string& data, RegistryView view = RegistryView::Own);
// A REG_SZ value stored with its terminating zero.
void setRegistryString(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                       const std::string& text, RegistryView view = RegistryView::Own);
int registryOpenCount();

// ---- the module's resource and the instance mutex ----
void setModuleResource(const std::vector<uint8_t>& bytes);
void setResourceLookup(ResourceLookup outcome);  // LoadFailed / LockFailed simulate those faults
void setOtherInstanceRunning(bool running);
int mutexCloseCount();
int progressControlInitCount();

// ---- free space ----
void overrideFreeSpace(uint64_t bytes);  // what every query answers from now on
void failFreeSpaceQuery();
std::vector<std::string> freeSpaceQueries();

// ---- the dialog and what the user sees ----
PlatformWindow* dialogWindow();  // the one modelled dialog; never null
std::string controlText(int controlId);
bool controlEnabled(int controlId);
std::vector<int> progressPositions(int controlId);  // every position sent, in order
std::pair<int, int> progressRange(int controlId);
std::string windowCaption();
bool dialogShown();
int dialogIcon();
std::vector<unsigned> beeps();
struct MessageBox {
  std::string text;
  std::string caption;
  unsigned flags;
};
std::vector<MessageBox> messageBoxes();

// ---- the message queue ----
// Queues an action that the next drain of the message queue runs (a click arriving while work
// is in progress, for instance).
void postMessage(std::function<void()> action);
int drainCount();  // how many times the queue was drained

// ---- the system code page ----
// The code page whose lead bytes isLeadByte reports: 932, 936, 949 and 950 have two-byte
// characters, every other one is single-byte. reset() returns it to kSingleByteCodePage.
constexpr unsigned kSingleByteCodePage = 1252;
void setCodePage(unsigned codePage);
unsigned codePage();

// ---- the folder browser ----
void setBrowseResult(std::optional<std::string> path);  // nullopt: the user cancels
std::vector<std::string> browseTitles();

// ---- file operations and faults ----
enum class FileOp {
  Open, Create, Read, Write, Seek, SeekToEnd, Close,
  ResetAttributes, Delete, Rename, MakeFolder, RemoveFolder, Flush,
};
constexpr int kFileOpKinds = 13;
const char* fileOpName(FileOp op);

// Makes the `nth` call (1-based, counted from now) of `op` fail; 0 switches it off.
void failNth(FileOp op, int nth);
// Makes every call of `op` fail, or none.
void failAlways(FileOp op, bool fail);
// Called before every file operation with its kind, its running number over all kinds
// (1-based) and its path (null for stream operations); answering false makes it fail.
using FileOpHook = std::function<bool(FileOp op, int64_t sequence, const char* path)>;
void setFileOpHook(FileOpHook hook);
int64_t fileOpCount();
int fileOpCount(FileOp op);

// Confines file operations to `root`: a path (either path of a rename) that does not lie inside
// it, or is not it, once resolved against the current directory and with "." and ".." folded,
// makes the operation fail untouched and is recorded. An empty root switches the check off.
void confineFileOps(const std::string& root);
std::vector<std::string> confinementViolations();

// Folder paths longer than `maxLength` characters fail as too long, as on Windows without long
// paths (247 there); 0, the start, sets no limit.
void limitFolderPaths(size_t maxLength);

// Read-only as Windows means it: files without the owner's write bit cannot be opened for
// writing or deleted, even by root.
void setReadOnly(const std::string& path, bool readOnly);
bool isReadOnly(const std::string& path);

// Maps a Windows-style path to the host: backslash characters become slashes (in the modelled
// code page: the second byte of a double-byte character stays).
std::string hostPath(const char* path);

}  // namespace standin
