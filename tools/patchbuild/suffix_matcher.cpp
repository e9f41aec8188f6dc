// Suffix array (libdivsufsort), bucket and sample tables, and the longest-match search.
#include "patchbuild/suffix_matcher.h"

#include <divsufsort.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <cstring>

namespace patchbuild {

namespace {

constexpr size_t kSampleStep = 32;

// Up to eight bytes from `bytes` as a big-endian number, zero-padded: numbers compare as the
// bytes do, except that a shorter string and its zero-padded extension compare equal.
uint64_t prefixKey(const uint8_t* bytes, size_t available) {
  if (available >= 8) {
    uint64_t value;
    std::memcpy(&value, bytes, 8);
    return __builtin_bswap64(value);
  }
  uint64_t value = 0;
  for (size_t k = 0; k < 8; k++) value = value << 8 | (k < available ? bytes[k] : 0);
  return value;
}

}  // namespace

SuffixMatcher::SuffixMatcher(const uint8_t* old, size_t size)
    : old_(old), size_(size), bucket_(65537, static_cast<uint32_t>(size)) {
  sa_ = static_cast<uint8_t*>(std::malloc(size * 4 + 4));
  if (!sa_) throw std::bad_alloc();
  if (size == 0) return;
  divsufsort(old, reinterpret_cast<saidx_t*>(sa_), static_cast<saidx_t>(size));
  if (size < (size_t{1} << 24)) {
    // Three bytes hold every offset of a file under 16 MiB: pack in place (each entry moves to
    // a lower address than any entry not yet read) and give the rest back.
    for (size_t index = 0; index < size; index++) {
      uint32_t value;
      std::memcpy(&value, sa_ + index * 4, 4);
      std::memcpy(sa_ + index * 3, &value, 3);
    }
    width_ = 3;
    if (void* smaller = std::realloc(sa_, size * 3 + 4)) sa_ = static_cast<uint8_t*>(smaller);
  }
  // Along the suffix array the two-byte keys never decrease (a one-byte suffix keys as its byte
  // followed by zero and sorts first among its peers), so one pass finds every bucket's start.
  uint32_t next = 0;
  for (size_t index = 0; index < size; index++) {
    size_t at = entry(index);
    uint32_t key = static_cast<uint32_t>(old[at]) << 8 | (at + 1 < size ? old[at + 1] : 0);
    while (next <= key) bucket_[next++] = static_cast<uint32_t>(index);
  }
  samples_.resize((size + kSampleStep - 1) / kSampleStep);
  for (size_t s = 0; s < samples_.size(); s++) {
    size_t at = entry(s * kSampleStep);
    samples_[s] = prefixKey(old + at, size - at);
  }
}

SuffixMatcher::~SuffixMatcher() { std::free(sa_); }

bool SuffixMatcher::after(const uint8_t* query, size_t length, uint32_t position, size_t from,
                          size_t* common) const {
  const uint8_t* suffix = old_ + position;
  size_t suffixLength = size_ - position;
  // The one-byte suffix sits in a bucket whose second byte it lacks: never assume past it.
  size_t limit = std::min(length, suffixLength);
  size_t at = std::min(from, limit);
  while (at + 8 <= limit) {
    uint64_t a, b;
    std::memcpy(&a, query + at, 8);
    std::memcpy(&b, suffix + at, 8);
    if (a != b) {
      at += static_cast<size_t>(__builtin_ctzll(a ^ b)) / 8;  // little-endian: lowest byte first
      break;
    }
    at += 8;
  }
  while (at < limit && query[at] == suffix[at]) at++;
  *common = at;
  if (at == length) return false;       // the query is a prefix of the suffix: it sorts first
  if (at == suffixLength) return true;  // the suffix is a prefix of the query
  return query[at] > suffix[at];
}

Match SuffixMatcher::longest(const uint8_t* query, size_t length, size_t limit, std::vector<uint32_t>* others,
                             size_t most) const {
  size_t index = 0;
  Match best = search(query, length, limit, &index);
  if (!others) return best;
  others->clear();
  if (best.length < 2) return best;
  // The suffixes that share the match are neighbours of the answer in sorted order: walk out
  // both ways, in turn, while they do.
  size_t below = index, above = index;
  bool down = index > 0, up = index + 1 < size_;
  auto shares = [&](size_t at) {
    uint32_t offset = entry(at);
    return size_ - offset >= best.length && std::memcmp(old_ + offset, query, best.length) == 0;
  };
  while (others->size() < most && (down || up)) {
    if (down) {
      down = shares(below - 1);
      if (down) others->push_back(entry(--below));
      down = down && below > 0;
    }
    if (up && others->size() < most) {
      up = shares(above + 1);
      if (up) others->push_back(entry(++above));
      up = up && above + 1 < size_;
    }
  }
  return best;
}

Match SuffixMatcher::search(const uint8_t* query, size_t length, size_t limit, size_t* index) const {
  Match best;
  length = std::min(length, limit);
  if (length < 2 || size_ < 2) return best;
  uint32_t key = static_cast<uint32_t>(query[0]) << 8 | query[1];
  size_t lo = bucket_[key], hi = bucket_[key + 1];
  if (lo >= hi) return best;
  // Narrow [lo, hi) with the samples: every suffix below a sample whose key is smaller than the
  // query's sorts before the query, and every suffix from a sample whose key is larger sorts
  // after it (keys that compare equal decide nothing, so those samples stay inside).
  if (hi - lo > 2 * kSampleStep) {
    uint64_t queryKey = prefixKey(query, length);
    size_t first = (lo + kSampleStep - 1) / kSampleStep, last = (hi - 1) / kSampleStep;
    size_t below = std::lower_bound(samples_.begin() + first, samples_.begin() + last + 1, queryKey) -
                   samples_.begin();
    size_t above = std::upper_bound(samples_.begin() + below, samples_.begin() + last + 1, queryKey) -
                   samples_.begin();
    if (below > first) lo = std::max(lo, (below - 1) * kSampleStep);
    if (above <= last) hi = std::min(hi, above * kSampleStep + 1);
  }
  // Binary search with the common prefixes of both ends remembered, so that no comparison
  // starts again from the first byte (Manber and Myers).
  size_t left = lo, right = hi - 1, commonLeft, commonRight;
  bool pastLeft = after(query, length, entry(left), 2, &commonLeft);
  bool pastRight = after(query, length, entry(right), 2, &commonRight);
  if (!pastLeft || pastRight || right - left < 2) {
    // Before the first or after the last suffix, or only two candidates: pick the better end.
    *index = commonLeft >= commonRight ? left : right;
    best.offset = entry(*index);
    best.length = static_cast<uint32_t>(std::max(commonLeft, commonRight));
    return best;
  }
  while (right - left > 1) {
    size_t middle = left + (right - left) / 2;
    size_t common;
    if (after(query, length, entry(middle),
              std::min(commonLeft, commonRight), &common)) {
      left = middle;
      commonLeft = common;
    } else {
      right = middle;
      commonRight = common;
    }
    if (common == length) {
      *index = middle;
      best.offset = entry(middle);
      best.length = static_cast<uint32_t>(common);
      return best;
    }
  }
  *index = commonLeft >= commonRight ? left : right;
  best.offset = entry(*index);
  best.length = static_cast<uint32_t>(std::max(commonLeft, commonRight));
  return best;
}

}  // namespace patchbuild
