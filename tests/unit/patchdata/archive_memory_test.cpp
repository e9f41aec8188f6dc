// Container checks on bytes in memory: every code from the length test on.
#include <gtest/gtest.h>

#include "patchdata/archive.h"
#include "writer/container_writer.h"

namespace {

using patchwriter::Bytes;

Bytes samplePayload() {
  return patchwriter::PayloadWriter()
      .registryPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\Path")
      .message("T_MAINTITLE", "Example Update")
      .build();
}

int load(const Bytes& container) {
  PatchArchive archive;
  return archive.loadFromMemory(container.data(), container.size());
}

TEST(ArchiveFromMemory, GoodContainerInflatesToThePayload) {
  Bytes payload = samplePayload();
  Bytes container = patchwriter::makeContainer(payload);
  container.insert(container.end(), {1, 2, 3});  // bytes after the stream are ignored
  PatchArchive archive;
  ASSERT_EQ(archive.loadFromMemory(container.data(), container.size()), kLoadOk);
  ASSERT_EQ(archive.payloadSize, payload.size());
  EXPECT_EQ(Bytes(archive.payload, archive.payload + archive.payloadSize), payload);
}

TEST(ArchiveFromMemory, EachFaultGivesItsCode) {
  Bytes payload = samplePayload();
  using Make = Bytes (*)(const Bytes&);
  struct Case {
    const char* name;
    Make make;
    int expected;
  };
  const Case kCases[] = {
      {"shorter than the header", [](const Bytes&) { return Bytes(11, 0); }, kLoadLengthsInconsistent},
      {"compressed length one past the end",
       [](const Bytes& p) {
         Bytes c = patchwriter::makeContainer(p);
         patchwriter::writeU32(c, 4, static_cast<uint32_t>(c.size() - 12 + 1));
         return c;
       },
       kLoadLengthsInconsistent},
      {"container checksum wrong",
       [](const Bytes& p) {
         Bytes c = patchwriter::makeContainer(p);
         c[0] ^= 1;
         return c;
       },
       kLoadContainerChecksumWrong},
      {"one flipped bit in the compressed data is caught by the checksum first",
       [](const Bytes& p) {
         Bytes c = patchwriter::makeContainer(p);
         c[c.size() / 2] ^= 0x10;
         return c;
       },
       kLoadContainerChecksumWrong},
      {"payload size below five",
       [](const Bytes& p) { return patchwriter::containerFromParts(patchwriter::compressZlib(p), 4); },
       kLoadPayloadTooSmall},
      {"not a zlib stream",
       [](const Bytes&) { return patchwriter::containerFromParts(Bytes(40, 0x55), 100); },
       kLoadInflateFailed},
      {"stream that would produce more than announced",
       [](const Bytes& p) {
         return patchwriter::containerFromParts(patchwriter::compressZlib(p),
                                                static_cast<uint32_t>(p.size() - 1));
       },
       kLoadInflateFailed},
      {"stream that ends before the announced size",
       [](const Bytes& p) {
         return patchwriter::containerFromParts(patchwriter::compressZlib(p),
                                                static_cast<uint32_t>(p.size() + 1));
       },
       kLoadInflatedSizeWrong},
      {"announced size far beyond what the stream could make",
       [](const Bytes& p) { return patchwriter::containerFromParts(patchwriter::compressZlib(p), 0xFFFFFFF0u); },
       kLoadInflatedSizeWrong},
      {"payload checksum wrong",
       [](const Bytes& p) {
         Bytes broken = p;
         broken[0] ^= 0x80;
         return patchwriter::makeContainer(broken);
       },
       kLoadPayloadChecksumWrong},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(load(c.make(payload)), c.expected);
  }
}

TEST(ArchiveFromMemory, LengthAndSizeBoundariesAreAccepted) {
  // Compressed data that fills the container exactly.
  Bytes payload = samplePayload();
  Bytes container = patchwriter::makeContainer(payload);
  ASSERT_EQ(patchwriter::readU32(container, 4), container.size() - 12);
  EXPECT_EQ(load(container), kLoadOk);

  // A payload of exactly five bytes passes the size test and loads.
  Bytes five = {0, 0, 0, 0, 0x42};
  patchwriter::fixPayloadChecksum(five);
  EXPECT_EQ(load(patchwriter::makeContainer(five)), kLoadOk);
}

}  // namespace
