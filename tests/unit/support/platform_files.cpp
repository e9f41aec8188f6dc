#include "support/platform_files.h"

#include "platform/files.h"

bool putFile(const std::string& path, const std::string& text) {
  PlatformFile* file = createWrite(path.c_str());
  if (!file) return false;
  bool written = writeFile(file, text.data(), text.size()) == text.size();
  return closeFile(file) && written;
}

std::optional<std::string> contentOf(const std::string& path) {
  PlatformFile* file = openRead(path.c_str());
  if (!file) return std::nullopt;
  std::string text;
  char buffer[4096];
  while (size_t read = readFile(file, buffer, sizeof buffer)) text.append(buffer, read);
  closeFile(file);
  return text;
}

void makeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    createFolder(path.substr(0, slash).c_str());
  createFolder(path.c_str());  // the folders that exist already refuse, harmlessly
}

bool madeFolder(const std::string& path) { return createFolder(path.c_str()) == FolderCreation::Made; }
