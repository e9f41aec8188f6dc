// The updater's container as the RT_RCDATA resource "PATCHDATA" of a Windows executable,
// written without a resource compiler so that it works the same on Linux.
//
//   DOS header (e_lfanew) -> "PE\0\0" | COFF header | optional header (PE32 or PE32+) with its
//   data directories (2: resources, 4: certificates) | section headers | sections
//   resource tree: type -> name -> language -> data entry (RVA, size, code page)
//
// The existing tree is read whole, the entry added or replaced, and the tree written again: in
// place when the resource section is the image's last, else as a new last section (the old one
// is left as dead bytes and renamed). A certificate table is dropped: the signature would no
// longer match.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace patchbuild {

// Copies `image` with `container` as its RT_RCDATA "PATCHDATA" resource (language neutral),
// every other resource kept. False with `error` for a file that is not a PE executable, a
// resource tree it cannot read, or a header area with no room for another section header.
bool embedPatchResource(const std::vector<uint8_t>& image, const std::vector<uint8_t>& container,
                        std::vector<uint8_t>& result, std::string& error);

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
