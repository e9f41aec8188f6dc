// The resources of a Windows executable, read and rewritten without a resource compiler so that
// it works the same on Linux: the updater's container as the RT_RCDATA resource "PATCHDATA",
// and the vendor's icon and version information (exe_branding.h).
//
//   DOS header (e_lfanew) -> "PE\0\0" | COFF header | optional header (PE32 or PE32+) with its
//   data directories (2: resources, 4: certificates) | section headers | sections
//   resource tree: type -> name -> language -> data entry (RVA, size, code page)
//
// The existing tree is read whole, changed in memory, and written again: in place when the
// resource section is the image's last, else as a new last section (the old one is left as dead
// bytes and renamed). A certificate table is dropped: the signature would no longer match.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace patchbuild {

// Resource types this tool writes.
constexpr uint16_t kRtIcon = 3;
constexpr uint16_t kRtRcdata = 10;
constexpr uint16_t kRtGroupIcon = 14;
constexpr uint16_t kRtVersion = 16;

// A resource directory key: an ID, or a name (UTF-16, as stored).
struct ResourceKey {
  bool isName = false;
  uint16_t id = 0;
  std::u16string name;

  static ResourceKey ofId(uint16_t id);
  static ResourceKey ofName(const std::string& ascii);
  // Named entries come first, sorted by their code units (the loader searches them by binary
  // search on the upper-cased name); IDs follow in ascending order.
  bool operator<(const ResourceKey& other) const {
    if (isName != other.isName) return isName;
    return isName ? name < other.name : id < other.id;
  }
  bool operator==(const ResourceKey& other) const = default;
  std::string text() const;  // "#10" for an ID, else the name
};

struct ResourceLeaf {
  std::vector<uint8_t> data;
  uint32_t codePage = 0;
};

// type -> name -> language -> data, in the order the section stores them.
using ResourceTree = std::map<ResourceKey, std::map<ResourceKey, std::map<ResourceKey, ResourceLeaf>>>;

// The resource tree of `image` (empty when it has none). False with `error` for a file that is
// not a PE executable or a tree it cannot read.
bool readResourceTree(const std::vector<uint8_t>& image, ResourceTree& tree, std::string& error);

// What rewriting the resources did beyond them.
struct RewriteNotes {
  bool droppedSignature = false;  // the image was signed; its certificate table is gone
};

// Copies `image` with `tree` as its resources and a correct PE checksum. False with `error`
// for an image that is not a PE executable or whose header area has no room for another
// section header when one is needed.
bool writeResourceTree(const std::vector<uint8_t>& image, const ResourceTree& tree, std::vector<uint8_t>& result,
                       RewriteNotes& notes, std::string& error);

// Sets `container` as the RT_RCDATA "PATCHDATA" resource (language neutral) of `tree`,
// replacing any earlier one in every language.
void putPatchResource(ResourceTree& tree, const std::vector<uint8_t>& container);

// Copies `image` with `container` as its PATCHDATA resource, every other resource kept. False
// with `error` as readResourceTree and writeResourceTree fail.
bool embedPatchResource(const std::vector<uint8_t>& image, const std::vector<uint8_t>& container,
                        std::vector<uint8_t>& result, RewriteNotes& notes, std::string& error);

// One resource as the loader would find it: type and name as IDs or upper-case names.
struct PeResource {
  std::string type, name;  // "#10" for an ID, else the name
  uint16_t language = 0;
  std::vector<uint8_t> data;
};

// Every resource of `image` (for tests and for reading a container out of an executable).
bool listResources(const std::vector<uint8_t>& image, std::vector<PeResource>& resources, std::string& error);

// The PATCHDATA resource's bytes, looked up the way FindResourceA(NULL, "PATCHDATA", RT_RCDATA)
// does (any language). False when there is none.
bool findPatchResource(const std::vector<uint8_t>& image, std::vector<uint8_t>& data, std::string& error);

// The PE checksum of `image` (the optional header's CheckSum field counts as zero).
uint32_t peChecksum(const std::vector<uint8_t>& image);

}  // namespace patchbuild
