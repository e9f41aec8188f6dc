// Files, registry values and containers made on the Windows side for a run of the updater.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

void writeBytes(const std::string& path, const Bytes& bytes);  // creates missing parent folders
Bytes readBytes(const std::string& path);                       // empty when it cannot be read
// A file of `size` zero bytes that takes no disk space, for work that must take a while.
bool makeSparseFile(const std::string& path, uint64_t size);
void setReadOnly(const std::string& path);
// Every file and folder below `root`, relative with '\' separators, sorted; folders end in '\'.
std::vector<std::string> listTree(const std::string& root);

// The two registry views of 64-bit Windows: the one 64-bit programs (the driver, the updater
// under test) see, and the one 32-bit programs see.
enum class MachineView { SixtyFourBit, ThirtyTwoBit };

// Sets a REG_SZ value below HKEY_LOCAL_MACHINE (Wine gives every program administrator rights).
bool setMachineString(const std::string& keyPath, const std::string& valueName, const std::string& data,
                      MachineView view = MachineView::SixtyFourBit);
// Whether the value exists in that view.
bool machineValueExists(const std::string& keyPath, const std::string& valueName, MachineView view);
// Deletes the key, with everything below it, in both views.
void deleteMachineKey(const std::string& keyPath);

// Copies `sourceExe` to `targetExe` and stores `container` in the copy as its PATCHDATA
// resource, as a vendor embeds a patch. False, with the reason on stderr, on failure.
bool embedContainer(const std::string& sourceExe, const Bytes& container, const std::string& targetExe);
