// Reading and rewriting a PE image's resource tree.
#include "patchbuild/pe_resource.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace patchbuild {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kSectionHeaderSize = 40;
constexpr int kResourceDirectory = 2;
constexpr int kCertificateDirectory = 4;
constexpr uint32_t kInitializedReadable = 0x40000040;  // IMAGE_SCN_CNT_INITIALIZED_DATA | MEM_READ

uint16_t get16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
uint32_t get32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
void put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t alignUp(uint32_t value, uint32_t alignment) {
  return alignment ? (value + alignment - 1) / alignment * alignment : value;
}

struct Section {
  size_t header;  // file offset of its header
  uint32_t virtualSize, virtualAddress, rawSize, rawOffset;
};

// The headers of a PE image, with every offset checked against the file's size.
struct PeImage {
  size_t coff = 0, optional = 0, sectionTable = 0;
  bool plus = false;  // PE32+
  uint32_t sectionAlignment = 0, fileAlignment = 0, sizeOfHeaders = 0;
  size_t directories = 0;  // file offset of the data directories
  uint32_t directoryCount = 0;
  std::vector<Section> sections;

  size_t checksumField() const { return optional + 64; }
  size_t sizeOfImageField() const { return optional + 56; }

  bool parse(const Bytes& b, std::string& error) {
    if (b.size() < 64 || b[0] != 'M' || b[1] != 'Z') return fail(error, "not a Windows executable (no MZ header)");
    size_t pe = get32(b, 0x3C);
    if (pe + 24 > b.size() || std::memcmp(&b[pe], "PE\0\0", 4) != 0)
      return fail(error, "not a Windows executable (no PE header)");
    coff = pe + 4;
    uint16_t count = get16(b, coff + 2);
    uint16_t optionalSize = get16(b, coff + 16);
    optional = coff + 20;
    if (optional + optionalSize > b.size() || optionalSize < 96) return fail(error, "the optional header is cut off");
    uint16_t magic = get16(b, optional);
    if (magic != 0x10B && magic != 0x20B) return fail(error, "unknown optional header (neither PE32 nor PE32+)");
    plus = magic == 0x20B;
    sectionAlignment = get32(b, optional + 32);
    fileAlignment = get32(b, optional + 36);
    sizeOfHeaders = get32(b, optional + 60);
    size_t countField = optional + (plus ? 108 : 92);
    directories = countField + 4;
    directoryCount = get32(b, countField);
    if (directoryCount <= kCertificateDirectory || directories + 8 * size_t{directoryCount} > optional + optionalSize)
      return fail(error, "the image has too few data directories for resources");
    sectionTable = optional + optionalSize;
    if (sectionTable + kSectionHeaderSize * size_t{count} > b.size()) return fail(error, "the section table is cut off");
    for (uint16_t i = 0; i < count; i++) {
      size_t h = sectionTable + kSectionHeaderSize * i;
      sections.push_back({h, get32(b, h + 8), get32(b, h + 12), get32(b, h + 16), get32(b, h + 20)});
      // A cut-off file: whatever is written after it would overlap the section's own data.
      if (uint64_t{sections.back().rawOffset} + sections.back().rawSize > b.size()) {
        std::string name(reinterpret_cast<const char*>(&b[h]), strnlen(reinterpret_cast<const char*>(&b[h]), 8));
        error = fmt::format("the section {} runs past the end of the file (the file is cut off)", name);
        return false;
      }
    }
    return true;
  }

  uint32_t directoryRva(const Bytes& b, int index) const { return get32(b, directories + 8 * index); }
  uint32_t directorySize(const Bytes& b, int index) const { return get32(b, directories + 8 * index + 4); }

  // The file offset of `size` bytes at `rva`, or SIZE_MAX when they are not all in the file.
  size_t offsetOf(const Bytes& b, uint32_t rva, uint32_t size) const {
    for (const Section& s : sections) {
      if (rva >= s.virtualAddress && uint64_t{rva} + size <= uint64_t{s.virtualAddress} + s.rawSize) {
        size_t at = s.rawOffset + (rva - s.virtualAddress);
        if (at + size <= b.size()) return at;
      }
    }
    return SIZE_MAX;
  }

  static bool fail(std::string& error, const char* what) {
    error = what;
    return false;
  }
};

using Key = ResourceKey;
using Leaf = ResourceLeaf;
using Tree = ResourceTree;

class TreeReader {
 public:
  TreeReader(const Bytes& b, const PeImage& pe, size_t root, size_t size)
      : b_(b), pe_(pe), root_(root), size_(size) {}

  bool read(Tree& tree, std::string& error) {
    std::vector<std::pair<Key, size_t>> types, names, languages;
    if (!entries(0, true, types, error)) return false;
    for (const auto& [type, typeAt] : types) {
      if (!entries(typeAt, true, names, error)) return false;
      for (const auto& [name, nameAt] : names) {
        if (!entries(nameAt, true, languages, error)) return false;
        for (const auto& [language, dataAt] : languages) {
          if (dataAt + 16 > size_) return fail(error);
          uint32_t rva = get32(b_, root_ + dataAt), length = get32(b_, root_ + dataAt + 4);
          size_t at = pe_.offsetOf(b_, rva, length);
          if (at == SIZE_MAX) return fail(error);
          Leaf& leaf = tree[type][name][language];
          leaf.data.assign(b_.begin() + static_cast<std::ptrdiff_t>(at), b_.begin() + static_cast<std::ptrdiff_t>(at + length));
          leaf.codePage = get32(b_, root_ + dataAt + 8);
        }
      }
    }
    return true;
  }

 private:
  bool fail(std::string& error) {
    error = "the resource tree is damaged or of a layout this tool does not know";
    return false;
  }

  // The entries of the directory at `at`: keys and the offsets they point to, which must be
  // directories when `wantDirectories` (levels one and two) and data entries otherwise.
  bool entries(size_t at, bool /*levels*/, std::vector<std::pair<Key, size_t>>& out, std::string& error) {
    out.clear();
    if (at + 16 > size_) return fail(error);
    size_t count = size_t{get16(b_, root_ + at + 12)} + get16(b_, root_ + at + 14);
    if (at + 16 + 8 * count > size_ || ++visited_ > 100000) return fail(error);
    int level = levelOf(at);
    for (size_t i = 0; i < count; i++) {
      size_t e = root_ + at + 16 + 8 * i;
      uint32_t name = get32(b_, e), target = get32(b_, e + 4);
      Key key;
      if (name & 0x80000000u) {
        size_t s = name & 0x7FFFFFFFu;
        if (s + 2 > size_) return fail(error);
        size_t length = get16(b_, root_ + s);
        if (s + 2 + 2 * length > size_) return fail(error);
        key.isName = true;
        for (size_t k = 0; k < length; k++) key.name.push_back(static_cast<char16_t>(get16(b_, root_ + s + 2 + 2 * k)));
      } else {
        key.id = static_cast<uint16_t>(name);
      }
      bool isDirectory = (target & 0x80000000u) != 0;
      if (isDirectory != (level < 2)) return fail(error);
      size_t child = target & 0x7FFFFFFFu;
      if (isDirectory) levels_[child] = level + 1;
      out.emplace_back(key, child);
    }
    return true;
  }

  int levelOf(size_t at) {
    auto found = levels_.find(at);
    return found == levels_.end() ? 0 : found->second;
  }

  const Bytes& b_;
  const PeImage& pe_;
  size_t root_, size_;
  std::map<size_t, int> levels_;
  size_t visited_ = 0;
};

bool readTree(const Bytes& b, const PeImage& pe, Tree& tree, std::string& error) {
  uint32_t rva = pe.directoryRva(b, kResourceDirectory), size = pe.directorySize(b, kResourceDirectory);
  if (rva == 0 || size == 0) return true;
  size_t root = pe.offsetOf(b, rva, size);
  if (root == SIZE_MAX) {
    error = "the resource directory lies outside the file";
    return false;
  }
  return TreeReader(b, pe, root, size).read(tree, error);
}

// The resource section for `tree` at virtual address `base`.
Bytes writeTree(const Tree& tree, uint32_t base) {
  size_t directories = 16 + 8 * tree.size(), dataEntries = 0, strings = 0;
  auto stringSize = [](const Key& key) { return key.isName ? 2 + 2 * key.name.size() : 0; };
  for (const auto& [type, names] : tree) {
    strings += stringSize(type);
    directories += 16 + 8 * names.size();
    for (const auto& [name, languages] : names) {
      strings += stringSize(name);
      directories += 16 + 8 * languages.size();
      for (const auto& [language, leaf] : languages) {
        strings += stringSize(language);
        dataEntries++;
      }
    }
  }
  size_t dataEntryAt = directories, stringAt = dataEntryAt + 16 * dataEntries;
  size_t blobAt = alignUp(static_cast<uint32_t>(stringAt + strings), 8);
  size_t total = blobAt;
  for (const auto& [type, names] : tree)
    for (const auto& [name, languages] : names)
      for (const auto& [language, leaf] : languages) total = alignUp(static_cast<uint32_t>(total + leaf.data.size()), 8);
  Bytes out(total, 0);
  size_t nextDirectory = 0;
  auto directory = [&](size_t namedCount, size_t idCount) {
    size_t at = nextDirectory;
    put16(out, at + 12, static_cast<uint16_t>(namedCount));
    put16(out, at + 14, static_cast<uint16_t>(idCount));
    nextDirectory += 16 + 8 * (namedCount + idCount);
    return at;
  };
  auto keyField = [&](const Key& key) -> uint32_t {
    if (!key.isName) return key.id;
    size_t at = stringAt;
    put16(out, at, static_cast<uint16_t>(key.name.size()));
    for (size_t k = 0; k < key.name.size(); k++) put16(out, at + 2 + 2 * k, static_cast<uint16_t>(key.name[k]));
    stringAt += 2 + 2 * key.name.size();
    return 0x80000000u | static_cast<uint32_t>(at);
  };
  auto counts = [](const auto& map) {
    size_t named = 0;
    for (const auto& entry : map) named += entry.first.isName;
    return std::make_pair(named, map.size() - named);
  };
  // Breadth first: the root, then every type's directory, then every name's.
  auto [rootNamed, rootIds] = counts(tree);
  size_t rootAt = directory(rootNamed, rootIds);
  std::vector<size_t> typeDirs;
  size_t i = 0;
  for (const auto& [type, names] : tree) {
    auto [named, ids] = counts(names);
    size_t at = directory(named, ids);
    typeDirs.push_back(at);
    put32(out, rootAt + 16 + 8 * i, keyField(type));
    put32(out, rootAt + 16 + 8 * i + 4, 0x80000000u | static_cast<uint32_t>(at));
    i++;
  }
  size_t t = 0;
  for (const auto& [type, names] : tree) {
    size_t n = 0;
    for (const auto& [name, languages] : names) {
      auto [named, ids] = counts(languages);
      size_t at = directory(named, ids);
      put32(out, typeDirs[t] + 16 + 8 * n, keyField(name));
      put32(out, typeDirs[t] + 16 + 8 * n + 4, 0x80000000u | static_cast<uint32_t>(at));
      size_t l = 0;
      for (const auto& [language, leaf] : languages) {
        put32(out, at + 16 + 8 * l, keyField(language));
        put32(out, at + 16 + 8 * l + 4, static_cast<uint32_t>(dataEntryAt));
        put32(out, dataEntryAt, base + static_cast<uint32_t>(blobAt));
        put32(out, dataEntryAt + 4, static_cast<uint32_t>(leaf.data.size()));
        put32(out, dataEntryAt + 8, leaf.codePage);
        std::copy(leaf.data.begin(), leaf.data.end(), out.begin() + static_cast<std::ptrdiff_t>(blobAt));
        blobAt = alignUp(static_cast<uint32_t>(blobAt + leaf.data.size()), 8);
        dataEntryAt += 16;
        l++;
      }
      n++;
    }
    t++;
  }
  return out;
}

}  // namespace

ResourceKey ResourceKey::ofId(uint16_t id) {
  ResourceKey key;
  key.id = id;
  return key;
}

ResourceKey ResourceKey::ofName(const std::string& ascii) {
  ResourceKey key;
  key.isName = true;
  for (char c : ascii) key.name.push_back(static_cast<char16_t>(c));
  return key;
}

std::string ResourceKey::text() const {
  if (!isName) return fmt::format("#{}", id);
  std::string out;
  for (char16_t c : name) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

uint32_t peChecksum(const Bytes& image) {
  PeImage pe;
  std::string ignored;
  size_t skip = pe.parse(image, ignored) ? pe.checksumField() : SIZE_MAX;
  uint64_t sum = 0;
  for (size_t at = 0; at < image.size(); at += 2) {
    if (at == skip || at == skip + 2) continue;
    uint32_t word = image[at] | (at + 1 < image.size() ? image[at + 1] << 8 : 0);
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + image.size());
}

bool readResourceTree(const Bytes& image, Tree& tree, std::string& error) {
  PeImage pe;
  tree.clear();
  return pe.parse(image, error) && readTree(image, pe, tree, error);
}

bool listResources(const Bytes& image, std::vector<PeResource>& resources, std::string& error) {
  Tree tree;
  if (!readResourceTree(image, tree, error)) return false;
  resources.clear();
  for (const auto& [type, names] : tree)
    for (const auto& [name, languages] : names)
      for (const auto& [language, leaf] : languages)
        resources.push_back({type.text(), name.text(), language.id, leaf.data});
  return true;
}

bool findPatchResource(const Bytes& image, Bytes& data, std::string& error) {
  std::vector<PeResource> resources;
  if (!listResources(image, resources, error)) return false;
  for (const PeResource& resource : resources)
    if (resource.type == "#10" && resource.name == "PATCHDATA") {
      data = resource.data;
      return true;
    }
  error = "the executable has no RT_RCDATA resource named PATCHDATA";
  return false;
}

void putPatchResource(Tree& tree, const Bytes& container) {
  auto& names = tree[Key::ofId(kRtRcdata)];
  names.erase(Key::ofName("PATCHDATA"));
  names[Key::ofName("PATCHDATA")][Key::ofId(0)] = Leaf{container, 0};
}

bool embedPatchResource(const Bytes& image, const Bytes& container, Bytes& result, RewriteNotes& notes,
                        std::string& error) {
  Tree tree;
  if (!readResourceTree(image, tree, error)) return false;
  putPatchResource(tree, container);
  return writeResourceTree(image, tree, result, notes, error);
}

bool writeResourceTree(const Bytes& image, const Tree& tree, Bytes& result, RewriteNotes& notes,
                       std::string& error) {
  result = image;
  notes = RewriteNotes{};
  PeImage pe;
  if (!pe.parse(result, error)) return false;
  if (pe.sections.empty()) {
    error = "the executable has no sections";
    return false;
  }

  // A signature would no longer match: drop the certificate table (at the end of the file).
  uint32_t certificateAt = pe.directoryRva(result, kCertificateDirectory);
  uint32_t certificateSize = pe.directorySize(result, kCertificateDirectory);
  if (certificateSize) {
    notes.droppedSignature = true;
    if (uint64_t{certificateAt} + certificateSize == result.size()) result.resize(certificateAt);
    put32(result, pe.directories + 8 * kCertificateDirectory, 0);
    put32(result, pe.directories + 8 * kCertificateDirectory + 4, 0);
  }

  // The section that holds the resource tree now, if any; it is rewritten in place when it is
  // the last both in memory and in the file, else a new last section takes the tree.
  uint32_t resourceRva = pe.directoryRva(result, kResourceDirectory);
  const Section* last = &pe.sections[0];
  for (const Section& s : pe.sections)
    if (s.virtualAddress > last->virtualAddress) last = &s;
  bool inPlace = resourceRva != 0 && resourceRva == last->virtualAddress &&
                 uint64_t{last->rawOffset} + last->rawSize >= result.size();
  size_t header;
  uint32_t virtualAddress, rawOffset;
  if (inPlace) {
    header = last->header;
    virtualAddress = last->virtualAddress;
    rawOffset = last->rawOffset;
  } else {
    size_t headerEnd = pe.sectionTable + kSectionHeaderSize * (pe.sections.size() + 1);
    uint32_t firstRaw = UINT32_MAX;
    for (const Section& s : pe.sections)
      if (s.rawSize) firstRaw = std::min(firstRaw, s.rawOffset);
    if (headerEnd > pe.sizeOfHeaders || headerEnd > firstRaw) {
      error = fmt::format("the section-header area is full: no room for another section header ({} sections, "
                          "headers may end at {}). Link the template with its resource section last "
                          "(it is then rewritten in place) or with room in its headers",
                          pe.sections.size(), std::min<uint64_t>(pe.sizeOfHeaders, firstRaw));
      return false;
    }
    header = headerEnd - kSectionHeaderSize;
    std::fill(result.begin() + static_cast<std::ptrdiff_t>(header), result.begin() + static_cast<std::ptrdiff_t>(headerEnd), 0);
    std::memcpy(&result[header], ".rsrc\0\0\0", 8);
    put32(result, header + 36, kInitializedReadable);
    put16(result, pe.coff + 2, static_cast<uint16_t>(pe.sections.size() + 1));
    virtualAddress = alignUp(last->virtualAddress + std::max(last->virtualSize, last->rawSize), pe.sectionAlignment);
    rawOffset = alignUp(static_cast<uint32_t>(result.size()), pe.fileAlignment);
    // The old section keeps its bytes (nothing points into them any more) under another name,
    // so that tools which look for ".rsrc" by name find the new one.
    for (const Section& s : pe.sections)
      if (resourceRva && resourceRva >= s.virtualAddress && resourceRva < s.virtualAddress + std::max(s.virtualSize, s.rawSize))
        std::memcpy(&result[s.header], ".oldrsrc", 8);
  }
  Bytes section = writeTree(tree, virtualAddress);
  uint32_t rawSize = alignUp(static_cast<uint32_t>(section.size()), pe.fileAlignment);
  uint32_t oldRaw = inPlace ? last->rawSize : 0;
  result.resize(rawOffset, 0);
  result.insert(result.end(), section.begin(), section.end());
  result.resize(size_t{rawOffset} + rawSize, 0);
  put32(result, header + 8, static_cast<uint32_t>(section.size()));
  put32(result, header + 12, virtualAddress);
  put32(result, header + 16, rawSize);
  put32(result, header + 20, rawOffset);
  put32(result, pe.directories + 8 * kResourceDirectory, virtualAddress);
  put32(result, pe.directories + 8 * kResourceDirectory + 4, static_cast<uint32_t>(section.size()));
  put32(result, pe.sizeOfImageField(), alignUp(virtualAddress + static_cast<uint32_t>(section.size()), pe.sectionAlignment));
  put32(result, pe.optional + 8, get32(result, pe.optional + 8) - oldRaw + rawSize);  // SizeOfInitializedData
  put32(result, pe.checksumField(), peChecksum(result));
  return true;
}

}  // namespace patchbuild
