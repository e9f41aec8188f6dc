// Reading .ico files and writing icon groups.
#include "patchbuild/icon_file.h"

#include <cstring>

namespace patchbuild {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kDirectorySize = 6;
constexpr size_t kFileEntrySize = 16;
constexpr size_t kGroupEntrySize = 14;
constexpr size_t kMostImages = 256;  // every size and colour depth Windows knows, many times over
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint16_t get16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
uint32_t get32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
void put16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; i++) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

bool isPng(const Bytes& image) {
  return image.size() >= 8 + 25 && std::memcmp(image.data(), kPngSignature, 8) == 0;
}

// A DIB starts with a BITMAPINFOHEADER (40 bytes) or one of its longer successors (V4, V5).
bool isBitmap(const Bytes& image) {
  if (image.size() < 40) return false;
  uint32_t headerSize = get32(image, 0);
  return (headerSize == 40 || headerSize == 108 || headerSize == 124) && get16(image, 12) == 1;
}

}  // namespace

bool parseIconFile(const Bytes& bytes, std::vector<IconImage>& images, std::string& why) {
  images.clear();
  if (bytes.size() < kDirectorySize || get16(bytes, 0) != 0) {
    why = "it does not start with an icon header";
    return false;
  }
  if (get16(bytes, 2) == 2) {
    why = "it is a cursor, not an icon";
    return false;
  }
  if (get16(bytes, 2) != 1) {
    why = "it does not start with an icon header";
    return false;
  }
  size_t count = get16(bytes, 4);
  if (count == 0) {
    why = "it holds no image";
    return false;
  }
  if (count > kMostImages) {
    why = "it holds " + std::to_string(count) + " images, more than an icon can";
    return false;
  }
  if (kDirectorySize + kFileEntrySize * count > bytes.size()) {
    why = "its list of images is cut off";
    return false;
  }
  for (size_t i = 0; i < count; i++) {
    size_t entry = kDirectorySize + kFileEntrySize * i;
    IconImage image;
    image.width = bytes[entry];
    image.height = bytes[entry + 1];
    image.colours = bytes[entry + 2];
    image.planes = get16(bytes, entry + 4);
    image.bitsPerPixel = get16(bytes, entry + 6);
    uint32_t size = get32(bytes, entry + 8), offset = get32(bytes, entry + 12);
    if (size == 0 || uint64_t{offset} + size > bytes.size()) {
      why = "image " + std::to_string(i + 1) + " lies outside the file";
      return false;
    }
    image.data.assign(bytes.begin() + offset, bytes.begin() + offset + size);
    bool png = isPng(image.data);
    if (!png && !isBitmap(image.data)) {
      why = "image " + std::to_string(i + 1) + " is neither a bitmap nor a PNG";
      return false;
    }
    // Many editors leave these 0; Windows picks the image for a screen by them, so they are
    // taken from the image itself, as resource compilers do.
    if (image.planes == 0) image.planes = 1;
    if (image.bitsPerPixel == 0) image.bitsPerPixel = png ? 32 : get16(image.data, 14);
    images.push_back(std::move(image));
  }
  return true;
}

Bytes iconGroup(const std::vector<IconImage>& images, const std::vector<uint16_t>& ids) {
  Bytes group;
  put16(group, 0);
  put16(group, 1);
  put16(group, static_cast<uint16_t>(images.size()));
  for (size_t i = 0; i < images.size(); i++) {
    const IconImage& image = images[i];
    group.push_back(image.width);
    group.push_back(image.height);
    group.push_back(image.colours);
    group.push_back(0);
    put16(group, image.planes);
    put16(group, image.bitsPerPixel);
    put32(group, static_cast<uint32_t>(image.data.size()));
    put16(group, ids[i]);
  }
  return group;
}

std::vector<uint16_t> iconGroupIds(const Bytes& group) {
  std::vector<uint16_t> ids;
  if (group.size() < kDirectorySize) return ids;
  size_t count = get16(group, 4);
  if (kDirectorySize + kGroupEntrySize * count > group.size()) return ids;
  for (size_t i = 0; i < count; i++) ids.push_back(get16(group, kDirectorySize + kGroupEntrySize * i + 12));
  return ids;
}

}  // namespace patchbuild
