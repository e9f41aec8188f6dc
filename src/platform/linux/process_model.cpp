// Stand-in for the process: the module resource and the instance mutex are models that
// tests set.
#include <vector>

#include "platform/linux/standin_internal.h"
#include "platform/process.h"

struct PlatformMutex {
  int unused;
};

namespace standin {
namespace {
std::vector<uint8_t> resource;
bool hasResource = false;
ResourceLookup lookup = ResourceLookup::Found;
bool otherInstance = false;
int mutexCloses = 0;
int progressInits = 0;
PlatformMutex theMutex{0};
}  // namespace

void resetProcess() {
  resource.clear();
  hasResource = false;
  lookup = ResourceLookup::Found;
  otherInstance = false;
  mutexCloses = 0;
  progressInits = 0;
}

void setModuleResource(const std::vector<uint8_t>& bytes) {
  resource = bytes;
  hasResource = true;
}
void setResourceLookup(ResourceLookup outcome) {
  lookup = outcome;
  hasResource = true;
}
void setOtherInstanceRunning(bool running) { otherInstance = running; }
int mutexCloseCount() { return mutexCloses; }
int progressControlInitCount() { return progressInits; }

}  // namespace standin

PlatformMutex* createInstanceMutex(const char*, bool* alreadyExisted) {
  *alreadyExisted = standin::otherInstance;
  return &standin::theMutex;
}

void closeInstanceMutex(PlatformMutex*) { standin::mutexCloses++; }

void initProgressControls() { standin::progressInits++; }

ResourceLookup findModuleResource(const char*, const uint8_t** data, uint32_t* size) {
  if (!standin::hasResource) return ResourceLookup::Absent;
  if (standin::lookup != ResourceLookup::Found) return standin::lookup;
  *data = standin::resource.data();
  *size = static_cast<uint32_t>(standin::resource.size());
  return ResourceLookup::Found;
}
