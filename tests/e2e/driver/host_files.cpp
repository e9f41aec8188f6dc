#include "driver/host_files.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

void writeBytes(const std::string& path, const Bytes& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool makeSparseFile(const std::string& path, uint64_t size) {
  fs::create_directories(fs::path(path).parent_path());
  std::error_code error;
  { std::ofstream create(path, std::ios::binary | std::ios::trunc); }
  fs::resize_file(path, size, error);
  return !error;
}

void setReadOnly(const std::string& path) { SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY); }

std::vector<std::string> listTree(const std::string& root) {
  std::vector<std::string> entries;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root, error)) {
    std::string relative = fs::relative(entry.path(), root).string();
    std::replace(relative.begin(), relative.end(), '/', '\\');
    entries.push_back(entry.is_directory() ? relative + "\\" : relative);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

namespace {
REGSAM viewFlag(MachineView view) { return view == MachineView::SixtyFourBit ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }
}  // namespace

bool setMachineString(const std::string& keyPath, const std::string& valueName, const std::string& data,
                      MachineView view) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE | viewFlag(view), nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return false;
  LONG result = RegSetValueExA(key, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                               static_cast<DWORD>(data.size() + 1));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

bool machineValueExists(const std::string& keyPath, const std::string& valueName, MachineView view) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE | viewFlag(view), &key) != ERROR_SUCCESS)
    return false;
  LONG result = RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

void deleteMachineKey(const std::string& keyPath) {
  size_t last = keyPath.rfind('\\');
  std::string parentPath = keyPath.substr(0, last), name = keyPath.substr(last + 1);
  for (MachineView view : {MachineView::SixtyFourBit, MachineView::ThirtyTwoBit}) {
    HKEY parent;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, parentPath.c_str(), 0, KEY_ALL_ACCESS | viewFlag(view), &parent) !=
        ERROR_SUCCESS)
      continue;
    RegDeleteTreeA(parent, name.c_str());
    RegCloseKey(parent);
  }
}

bool embedContainer(const std::string& sourceExe, const Bytes& container, const std::string& targetExe) {
  fs::create_directories(fs::path(targetExe).parent_path());
  if (!CopyFileA(sourceExe.c_str(), targetExe.c_str(), FALSE)) {
    std::fprintf(stderr, "e2e: cannot copy %s (error %lu)\n", sourceExe.c_str(), GetLastError());
    return false;
  }
  HANDLE update = BeginUpdateResourceA(targetExe.c_str(), FALSE);
  if (!update) {
    std::fprintf(stderr, "e2e: BeginUpdateResource failed (error %lu)\n", GetLastError());
    return false;
  }
  bool stored = UpdateResourceA(update, MAKEINTRESOURCEA(10), "PATCHDATA", MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                const_cast<uint8_t*>(container.data()), static_cast<DWORD>(container.size()));
  if (!EndUpdateResourceA(update, stored ? FALSE : TRUE) || !stored) {
    std::fprintf(stderr, "e2e: storing the PATCHDATA resource failed (error %lu)\n", GetLastError());
    return false;
  }
  return true;
}
