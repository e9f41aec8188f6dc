// Delta encoding: every encoding rebuilds its target exactly, matches are found over the whole
// old file, and the helpers agree with the updater's own code.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cmath>
#include <cstring>

#include "patchbuild/compression.h"
#include "patchbuild/cost_model.h"
#include "patchbuild/delta_encoder.h"
#include "patchbuild/file_bytes.h"
#include "patchbuild/folder_scan.h"
#include "patchbuild/suffix_matcher.h"
#include "patchdata/checksum.h"
#include "support/patch_project.h"

namespace {

using patchbuild::DeltaOptions;
using patchbuild::encodeDelta;

patchbuild::EncodedDelta encode(const FileBytes& old, const FileBytes& target, DeltaOptions options = {}) {
  return encodeDelta(old.data(), old.size(), target.data(), target.size(), options);
}

// The target with ranges of the old file moved far apart and small edits between them.
FileBytes shuffled(const FileBytes& old, uint32_t seed) {
  FileBytes target;
  size_t piece = old.size() / 8;
  for (size_t k = 0; k < 8; k++) {
    size_t from = ((k * 5 + seed) % 8) * piece;
    target.insert(target.end(), old.begin() + from, old.begin() + from + piece);
    FileBytes edit = randomBytes(1 + (k * 7) % 40, seed + k);
    target.insert(target.end(), edit.begin(), edit.end());
  }
  return target;
}

TEST(DeltaEncoder, RebuildsTheTargetExactly) {
  FileBytes text;
  for (int i = 0; i < 4000; i++) {
    std::string line = "line " + std::to_string(i * 7 % 1000) + ": the quick brown fox\n";
    text.insert(text.end(), line.begin(), line.end());
  }
  struct Case {
    const char* name;
    FileBytes old, target;
  };
  FileBytes random = randomBytes(200000, 1);
  const Case kCases[] = {
      {"moved ranges", random, shuffled(random, 3)},
      {"identical", random, random},
      {"empty old", {}, randomBytes(1000, 2)},
      {"empty target", random, {}},
      {"both empty", {}, {}},
      {"unrelated", randomBytes(5000, 4), randomBytes(7000, 5)},
      {"repetitive text", text, spliced(text, 5000, "inserted text here")},
      {"tiny", bytesOf("ab"), bytesOf("ba")},
  };
  for (const Case& c : kCases) {
    for (size_t suffixLimit : {size_t{48} << 20, size_t{0}}) {  // suffix matcher, then anchors
      for (unsigned threads : {1u, 3u}) {
        SCOPED_TRACE(std::string(c.name) + (suffixLimit ? " (suffixes)" : " (anchors)") + " threads " + std::to_string(threads));
        DeltaOptions options;
        options.suffixLimit = suffixLimit;
        options.threads = threads;
        auto encoded = encode(c.old, c.target, options);
        EXPECT_EQ(encoded.commands.apply(c.old), c.target);
      }
    }
  }
}

TEST(DeltaEncoder, FindsRangesMovedFarApart) {
  FileBytes old = randomBytes(1 << 20, 7);
  FileBytes target = shuffled(old, 5);
  for (size_t suffixLimit : {size_t{48} << 20, size_t{0}}) {
    DeltaOptions options;
    options.suffixLimit = suffixLimit;
    auto encoded = encode(old, target, options);
    ASSERT_EQ(encoded.commands.apply(old), target);
    // Eight moved ranges and eight edits: about sixteen commands, and every moved byte copied.
    EXPECT_LE(encoded.commands.commandCount(), 20u);
    EXPECT_GE(encoded.commands.copiedBytes(), old.size() / 8 * 8);
  }
}

TEST(DeltaEncoder, LargeTargetsCutIntoPartsStayCorrectWhateverTheThreads) {
  FileBytes old = randomBytes(3 << 20, 8);
  FileBytes target = shuffled(old, 2);
  DeltaOptions options;
  options.partSize = 256 << 10;  // twelve parts
  options.window = 4096;         // many windows: their joins must hold too
  FileBytes first;
  for (unsigned threads : {1u, 2u, 5u}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    options.threads = threads;
    auto encoded = encode(old, target, options);
    EXPECT_EQ(encoded.commands.apply(old), target);
    EXPECT_LE(encoded.commands.commandCount(), 30u);
    if (first.empty()) first = encoded.commands.bytes();
    EXPECT_EQ(encoded.commands.bytes(), first) << "the commands depend on the thread count";
  }
}

// The container is a function of the project alone: a large target cut into parts, small ones
// encoded side by side, the same bytes on any number of threads.
TEST(Reproducibility, TheContainerIsTheSameOnAnyThreadCount) {
  FileBytes old = randomBytes(6 << 20, 21);
  FileBytes target = old;
  for (size_t at = 1000; at + 4 < target.size(); at += 40000) target[at] ^= 0x5A;  // scattered edits
  FileBytes added = randomBytes(1 << 18, 22);
  target.insert(target.begin() + (1 << 20), added.begin(), added.end());
  PatchProject project(2);
  project.file(0, "app.dll", old).file(1, "app.dll", target);
  for (uint32_t k = 0; k < 3; k++) {
    FileBytes small = randomBytes(50000, 30 + k);
    project.file(0, "lib" + std::to_string(k) + ".dll", small)
        .file(1, "lib" + std::to_string(k) + ".dll", spliced(small, 20000 + k, "changed"));
  }
  std::vector<uint8_t> first;
  for (unsigned threads : {1u, 2u, 7u}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    patchbuild::BuildSettings settings;
    settings.threads = threads;
    std::string error;
    ASSERT_TRUE(project.build(error, nullptr, settings)) << error;
    if (first.empty()) first = project.container();
    EXPECT_TRUE(project.container() == first) << "the container depends on the thread count";
  }
}

TEST(CostModel, TheIntegerLogarithmIsCloseToTheTrueOne) {
  for (uint64_t x : {1ull, 2ull, 3ull, 5ull, 255ull, 256ull, 257ull, 65535ull, 1000003ull, (1ull << 31) - 1,
                     (1ull << 40) + 12345, ~0ull}) {
    double exact = std::log2(static_cast<double>(x)) * 65536.0;
    EXPECT_NEAR(static_cast<double>(patchbuild::log2Fixed(x)), exact, 2.0) << x;
  }
  EXPECT_EQ(patchbuild::log2Fixed(1 << 20), 20u << 16);
}

// The common change in an executable: code moved, so many 4-byte displacements changed and all
// else stayed. Each must cost one literal and one copy that continues the previous one, and
// little once deflated.
TEST(DeltaEncoder, AChangedDisplacementCostsALiteralAndACopy) {
  FileBytes old = randomBytes(200000, 18);
  FileBytes target = old;
  size_t changes = 0;
  for (size_t at = 500; at + 4 < target.size(); at += 700 + (at * 7) % 900, changes++) {
    uint32_t displacement;
    std::memcpy(&displacement, &target[at], 4);
    displacement += 0x1D0;  // the callee moved by that much
    std::memcpy(&target[at], &displacement, 4);
  }
  auto encoded = encode(old, target);
  ASSERT_EQ(encoded.commands.apply(old), target);
  EXPECT_LE(encoded.commands.commandCount(), 2 * changes + 1);
  auto deflated = patchbuild::deflatePayload(encoded.commands.bytes(), {patchbuild::Compression::Zlib, 9, 0});
  EXPECT_LE(deflated.stream.size(), changes * 8) << changes << " changes";  // about 7 now
}

TEST(SuffixMatcher, FindsTheLongestMatchAnywhere) {
  FileBytes old = randomBytes(20000, 9);
  for (uint8_t& b : old) b = static_cast<uint8_t>('a' + b % 3);  // many repeats
  patchbuild::SuffixMatcher matcher(old.data(), old.size());
  FileBytes query = randomBytes(600, 10);
  for (uint8_t& b : query) b = static_cast<uint8_t>('a' + b % 3);
  for (size_t at = 0; at < query.size(); at += 7) {
    patchbuild::Match found = matcher.longest(query.data() + at, query.size() - at, 4096);
    size_t best = 0;
    for (size_t o = 0; o < old.size(); o++) {
      size_t l = 0;
      while (at + l < query.size() && o + l < old.size() && query[at + l] == old[o + l]) l++;
      best = std::max(best, l);
    }
    ASSERT_EQ(found.length, best) << "at " << at;
    ASSERT_TRUE(std::equal(query.begin() + at, query.begin() + at + found.length, old.begin() + found.offset));
  }
}

TEST(SuffixMatcher, ListsEveryPlaceOfARepeatedMatch) {
  FileBytes old = randomBytes(30000, 14);
  FileBytes block = randomBytes(50, 15);
  const size_t places[] = {1000, 12000, 29000};
  for (size_t at : places) std::copy(block.begin(), block.end(), old.begin() + at);
  patchbuild::SuffixMatcher matcher(old.data(), old.size());
  std::vector<uint32_t> others;
  patchbuild::Match found = matcher.longest(block.data(), block.size(), 4096, &others, 16);
  EXPECT_EQ(found.length, block.size());
  std::vector<uint32_t> all = others;
  all.push_back(found.offset);
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all, std::vector<uint32_t>(std::begin(places), std::end(places)));
}

// The offsets of the copies in `commands`, in order.
std::vector<uint32_t> copyOffsets(const patchwriter::DeltaCommands& commands) {
  std::vector<uint32_t> offsets;
  const auto& bytes = commands.bytes();
  for (size_t at = 0; at < bytes.size();) {
    uint32_t word = patchwriter::readU32(bytes, at);
    if (word & 0x80000000u) {
      at += 4 + (word & 0x7FFFFFFFu);
    } else {
      offsets.push_back(patchwriter::readU32(bytes, at + 4));
      at += 8;
    }
  }
  return offsets;
}

TEST(DeltaEncoder, RepeatedContentIsCopiedFromOnePlace) {
  // A block that the old file holds in three places, used four times between new bytes: every
  // copy of it names the same offset, so the copy commands repeat for deflate.
  FileBytes old = randomBytes(40000, 16);
  FileBytes block = randomBytes(40, 17);
  for (size_t at : {3000, 20000, 37000}) std::copy(block.begin(), block.end(), old.begin() + at);
  FileBytes target;
  for (uint32_t k = 0; k < 4; k++) {
    FileBytes fresh = randomBytes(30, 20 + k);
    target.insert(target.end(), fresh.begin(), fresh.end());
    target.insert(target.end(), block.begin(), block.end());
  }
  auto encoded = encode(old, target);
  ASSERT_EQ(encoded.commands.apply(old), target);
  std::vector<uint32_t> offsets = copyOffsets(encoded.commands);
  ASSERT_EQ(offsets.size(), 4u);
  for (uint32_t offset : offsets) EXPECT_EQ(offset, offsets[0]);
}

TEST(FileBytes, TheFastChecksumIsTheUpdatersChecksum) {
  for (size_t size : {0u, 1u, 7u, 8u, 9u, 1000u, 262145u}) {
    FileBytes bytes = randomBytes(size, static_cast<uint32_t>(size));
    EXPECT_EQ(patchbuild::fastChecksumUpdate(kChecksumStart, bytes.data(), bytes.size()),
              checksumUpdate(kChecksumStart, bytes.data(), bytes.size()));
  }
  const uint8_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(patchbuild::fastChecksumUpdate(kChecksumStart, abc, 3), 0xB3ABD68Au);
}

TEST(FileBytes, TheScanAndMemoryAgreeOnContentIdentity) {
  TempFolder folder;
  FileBytes bytes = randomBytes(262144 * 2 + 5, 11);
  folder.write("v/file.bin", bytes);
  folder.write("v/block.bin", randomBytes(262144, 12));
  patchbuild::ContentTable contents;
  patchbuild::VersionTree tree;
  std::string error;
  ASSERT_TRUE(patchbuild::scanVersion(folder.at("v"), 1252, contents, tree, error)) << error;
  const auto& content = contents[tree.files.at("file.bin").content];
  EXPECT_EQ(content.hash, patchbuild::contentHashOf(bytes.data(), bytes.size()));
  EXPECT_EQ(content.checksum, checksumUpdate(kChecksumStart, bytes.data(), bytes.size()));
  FileBytes block = folder.read("v/block.bin");
  EXPECT_EQ(contents[tree.files.at("block.bin").content].hash, patchbuild::contentHashOf(block.data(), block.size()));
}

TEST(Compression, EveryMethodInflatesToThePayloadAndIgnoresTheThreadCount) {
  FileBytes payload = randomBytes(90000, 13);
  for (size_t i = 0; i < payload.size(); i += 3) payload[i] = 'x';  // something to compress
  patchbuild::Compression zlib{patchbuild::Compression::Zlib, 9, 0};
  patchbuild::Compression zopfli{patchbuild::Compression::Zopfli, 9, 1};
  for (const auto& method : {zlib, zopfli}) {
    FileBytes first;
    for (unsigned threads : {1u, 2u, 3u}) {
      // Parts of 20 KB: the stream is joined from several.
      auto result = patchbuild::deflatePayload(payload, method, threads, {20000, 20000});
      FileBytes inflated(payload.size());
      uLongf size = static_cast<uLongf>(inflated.size());
      ASSERT_EQ(uncompress(inflated.data(), &size, result.stream.data(), static_cast<uLong>(result.stream.size())), Z_OK)
          << result.method << " threads " << threads;
      EXPECT_EQ(inflated, payload);
      if (first.empty()) first = result.stream;
      EXPECT_EQ(result.stream, first) << result.method << ": the stream depends on the thread count";
    }
  }
}

}  // namespace
