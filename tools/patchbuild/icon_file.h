// An icon file (.ico) and the two resources Windows keeps an icon in.
//
//   .ico:          ICONDIR { reserved 0, type 1, count } | ICONDIRENTRY[count] { width, height,
//                  colours, reserved, planes (u16), bits per pixel (u16), size (u32),
//                  offset (u32) } | images: a BITMAPINFOHEADER with its pixels and mask, or PNG
//   RT_ICON:       one image's bytes, as in the file
//   RT_GROUP_ICON: GRPICONDIR { reserved 0, type 1, count } | GRPICONDIRENTRY[count] { the same
//                  first 12 bytes, then the RT_ICON id (u16) instead of the file offset }
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace patchbuild {

struct IconImage {
  uint8_t width = 0, height = 0, colours = 0;  // 0 stands for 256 pixels, or for 256+ colours
  uint16_t planes = 1, bitsPerPixel = 0;
  std::vector<uint8_t> data;
};

// The images of an icon file. False with `why` (a short phrase, such as "it is a cursor") for
// anything that is not an icon Windows can show: a wrong header, no images, an image that lies
// outside the file or that is neither a bitmap nor a PNG.
bool parseIconFile(const std::vector<uint8_t>& bytes, std::vector<IconImage>& images, std::string& why);

// The RT_GROUP_ICON resource for `images`, whose RT_ICON ids are `ids` (one per image).
std::vector<uint8_t> iconGroup(const std::vector<IconImage>& images, const std::vector<uint16_t>& ids);

// The RT_ICON ids that an RT_GROUP_ICON resource names; empty for a damaged group.
std::vector<uint16_t> iconGroupIds(const std::vector<uint8_t>& group);

}  // namespace patchbuild
