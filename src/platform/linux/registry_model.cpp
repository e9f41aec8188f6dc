// Stand-in registry: an in-memory map of values in two views, as 64-bit Windows keeps them. Key
// paths and value names compare without regard to letter case, as in the Windows registry.
#include <cstring>
#include <map>
#include <string>
#include <tuple>

#include "platform/linux/standin_internal.h"
#include "platform/registry.h"

struct PlatformRegistryKey {
  RegistryView view;
  RegistryRoot root;
  std::string keyPath;  // folded to lower case
};

namespace standin {
namespace {

struct StoredValue {
  uint32_t type;
  std::string data;
};
using ValueId = std::tuple<RegistryView, RegistryRoot, std::string, std::string>;
std::map<ValueId, StoredValue> values;
int opens = 0;

std::string folded(const std::string& text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

bool keyExists(RegistryView view, RegistryRoot root, const std::string& keyPath) {
  // A key exists when a value lives in it or in a key below it.
  for (const auto& [id, value] : values) {
    const std::string& stored = std::get<2>(id);
    if (std::get<0>(id) != view || std::get<1>(id) != root) continue;
    if (stored == keyPath) return true;
    if (stored.size() > keyPath.size() && stored.compare(0, keyPath.size(), keyPath) == 0 &&
        stored[keyPath.size()] == '\\')
      return true;
  }
  return false;
}

}  // namespace

void resetRegistry() {
  values.clear();
  opens = 0;
}

void setRegistryValue(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                      uint32_t type, const std::string& data, RegistryView view) {
  values[{view, root, folded(keyPath), folded(valueName)}] = StoredValue{type, data};
}

void setRegistryString(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                       const std::string& text, RegistryView view) {
  setRegistryValue(root, keyPath, valueName, kRegistryTypeString, text + std::string(1, '\0'), view);
}

int registryOpenCount() { return opens; }

}  // namespace standin

PlatformRegistryKey* openRegistryKey(RegistryRoot root, const char* keyPath, RegistryView view) {
  standin::opens++;
  std::string key = standin::folded(keyPath);
  if (!standin::keyExists(view, root, key)) return nullptr;
  return new PlatformRegistryKey{view, root, key};
}

bool queryRegistryValue(PlatformRegistryKey* key, const char* valueName, char* buffer,
                        uint32_t capacity, uint32_t* type) {
  auto found = standin::values.find({key->view, key->root, key->keyPath, standin::folded(valueName)});
  if (found == standin::values.end()) return false;
  const standin::StoredValue& value = found->second;
  if (value.data.size() > capacity) return false;  // the registry answers "more data"
  std::memcpy(buffer, value.data.data(), value.data.size());
  *type = value.type;
  return true;
}

void closeRegistryKey(PlatformRegistryKey* key) { delete key; }
