#include "driver/folder_tree.h"

#include <commctrl.h>

#include <cstring>

namespace {

class RemoteItemReader {
 public:
  RemoteItemReader(const UpdaterProcess& process, HWND tree) : process_(process), tree_(tree) {
    memory_ = static_cast<uint8_t*>(
        VirtualAllocEx(process.handle(), nullptr, sizeof(TVITEMA) + kTextSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  }
  ~RemoteItemReader() {
    if (memory_) VirtualFreeEx(process_.handle(), memory_, 0, MEM_RELEASE);
  }

  std::string text(HTREEITEM item) {
    if (!memory_) return {};
    TVITEMA request = {};
    request.mask = TVIF_TEXT;
    request.hItem = item;
    request.pszText = reinterpret_cast<char*>(memory_ + sizeof(TVITEMA));
    request.cchTextMax = kTextSize;
    WriteProcessMemory(process_.handle(), memory_, &request, sizeof request, nullptr);
    DWORD_PTR ok = 0;
    SendMessageTimeoutA(tree_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(memory_), SMTO_NORMAL, 10000, &ok);
    char buffer[kTextSize] = {};
    if (ok) ReadProcessMemory(process_.handle(), memory_ + sizeof(TVITEMA), buffer, kTextSize - 1, nullptr);
    return buffer;
  }

 private:
  static constexpr int kTextSize = 512;
  const UpdaterProcess& process_;
  HWND tree_;
  uint8_t* memory_ = nullptr;
};

HTREEITEM next(HWND tree, HTREEITEM item, UINT relation) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item), SMTO_NORMAL, 10000, &result);
  return reinterpret_cast<HTREEITEM>(result);
}

// Opens `item`, so the browser fills in its children.
void expand(HWND tree, HTREEITEM item) {
  SendMessageTimeoutA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item), SMTO_NORMAL, 10000, nullptr);
}

std::vector<HTREEITEM> childrenOf(HWND tree, HTREEITEM item) {
  expand(tree, item);
  std::vector<HTREEITEM> children;
  for (HTREEITEM child = next(tree, item, TVGN_CHILD); child; child = next(tree, child, TVGN_NEXT))
    children.push_back(child);
  return children;
}

std::vector<std::string> split(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t slash; (slash = path.find('\\', start)) != std::string::npos; start = slash + 1)
    if (slash > start) parts.push_back(path.substr(start, slash - start));
  if (start < path.size()) parts.push_back(path.substr(start));
  return parts;
}

bool equalIgnoringCase(const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) == 0; }

// The drive is shown as "(E:)" below one of the desktop's items ("My Computer"). Returns the
// drive's item and sets `holder` to the item it is listed under; null when not found.
HTREEITEM findDrive(HWND tree, RemoteItemReader& reader, const std::string& drive, HTREEITEM* holder,
                    std::vector<std::string>* seen) {
  HTREEITEM desktop = next(tree, nullptr, TVGN_ROOT);
  for (HTREEITEM top : childrenOf(tree, desktop)) {
    seen->push_back(reader.text(top));
    for (HTREEITEM child : childrenOf(tree, top)) {
      std::string text = reader.text(child);
      seen->push_back("  " + text);
      if (text.find("(" + drive + ")") != std::string::npos) {
        *holder = top;
        return child;
      }
    }
  }
  return nullptr;
}

bool select(HWND tree, HTREEITEM item) {
  DWORD_PTR selected = 0;
  SendMessageTimeoutA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item), SMTO_NORMAL, 10000, &selected);
  return selected != 0;
}

}  // namespace

bool selectFolderInTree(const UpdaterProcess& process, HWND browser, const std::string& folder,
                        std::vector<std::string>* seen) {
  HWND tree = FindWindowExA(browser, nullptr, WC_TREEVIEWA, nullptr);
  if (!tree) return false;
  RemoteItemReader reader(process, tree);
  std::vector<std::string> parts = split(folder);
  if (parts.empty()) return false;

  HTREEITEM holder = nullptr;
  HTREEITEM current = findDrive(tree, reader, parts[0], &holder, seen);
  for (size_t i = 1; current && i < parts.size(); i++) {
    HTREEITEM found = nullptr;
    for (HTREEITEM child : childrenOf(tree, current)) {
      std::string text = reader.text(child);
      seen->push_back(std::string(i * 2, ' ') + text);
      if (equalIgnoringCase(text, parts[i])) found = child;
    }
    current = found;
  }
  return current && select(tree, current);
}

bool selectDrivesItemInTree(const UpdaterProcess& process, HWND browser, std::vector<std::string>* seen) {
  HWND tree = FindWindowExA(browser, nullptr, WC_TREEVIEWA, nullptr);
  if (!tree) return false;
  RemoteItemReader reader(process, tree);
  HTREEITEM holder = nullptr;
  return findDrive(tree, reader, "Z:", &holder, seen) && select(tree, holder);
}
