// Longest matches of any string in the whole old file, found through its suffix array: every
// position of the old file is a candidate, however far apart the moved ranges are.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace patchbuild {

struct Match {
  uint32_t offset = 0;  // where the match starts in the old file
  uint32_t length = 0;  // 0: no match of two bytes or more
};

class SuffixMatcher {
 public:
  // Sorts every suffix of `old` (which must outlive the matcher and be shorter than 2 GiB).
  // Memory: four bytes per old byte while sorting; then three for files under 16 MiB (the
  // entries are packed), plus a 256 KiB table of two-byte buckets and the samples.
  SuffixMatcher(const uint8_t* old, size_t size);
  ~SuffixMatcher();
  SuffixMatcher(const SuffixMatcher&) = delete;
  SuffixMatcher& operator=(const SuffixMatcher&) = delete;

  // The longest prefix of query[0..length) that occurs in the old file, looking at no more
  // than `limit` bytes of it; a match that reaches `limit` may go on further. With `others`, up
  // to `most` further offsets where the same match occurs are put there (none when the match is
  // shorter than two bytes), nearest in sorted order first.
  Match longest(const uint8_t* query, size_t length, size_t limit, std::vector<uint32_t>* others = nullptr,
                size_t most = 0) const;

  size_t memoryBytes() const { return size_ * width_ + bucket_.size() * 4 + samples_.size() * 8; }

 private:
  // Compares the query from `from` on with the suffix at `position`; stores the common length
  // in `common` and answers whether the query sorts after the suffix.
  bool after(const uint8_t* query, size_t length, uint32_t position, size_t from,
             size_t* common) const;

  // longest() without the other offsets; `index` receives the answer's place in sorted order.
  Match search(const uint8_t* query, size_t length, size_t limit, size_t* index) const;

  // The suffix array entry at `index`.
  uint32_t entry(size_t index) const {
    uint32_t value;
    std::memcpy(&value, sa_ + index * width_, 4);
    return width_ == 4 ? value : value & 0xFFFFFFu;
  }

  const uint8_t* old_;
  size_t size_;
  uint8_t* sa_ = nullptr;  // malloc'd: `width_` bytes per entry, little-endian, padded by one byte
  size_t width_ = 4;
  std::vector<uint32_t> bucket_;  // 65537 starts: suffixes by their first two bytes
  // The first eight bytes (big-endian, zero-padded) of every kSampleStep-th suffix in sorted
  // order: a small array that narrows a search to a few entries before the old file is read.
  std::vector<uint64_t> samples_;
};

}  // namespace patchbuild
