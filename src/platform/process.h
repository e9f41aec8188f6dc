// The process around the updater: the single-instance guard, the module's own resources
// and the common-controls set-up.
#pragma once
#include <cstdint>

struct PlatformMutex;   // defined only inside each implementation
struct PlatformModule;  // the executable's module instance

// Creates the named mutex, owned by the caller. `alreadyExisted` tells whether another
// process holds one of the same name. Null only when it could not be created at all.
PlatformMutex* createInstanceMutex(const char* name, bool* alreadyExisted);
void closeInstanceMutex(PlatformMutex* mutex);

// Registers the progress-bar control class.
void initProgressControls();

enum class ResourceLookup { Found, Absent, LoadFailed, LockFailed };

// Finds the RT_RCDATA resource `name` in the executable's own module. When found, `data`
// points at its bytes in the module image (nothing is copied) and `size` is its size.
ResourceLookup findModuleResource(const char* name, const uint8_t** data, uint32_t* size);
