// Match finding and command choice for one delta.
#include "patchbuild/delta_encoder.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "patchbuild/suffix_matcher.h"

namespace patchbuild {

namespace {

constexpr uint32_t kInfinite = UINT32_MAX / 4;  // window costs stay far below (2^17 bytes * 12 bits * 16)

// How many bytes `a` and `b` have in common from their start, looking at no more than `limit`.
size_t commonLength(const uint8_t* a, const uint8_t* b, size_t limit) {
  size_t at = 0;
  while (at + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + at, 8);
    std::memcpy(&y, b + at, 8);
    if (x != y) return at + static_cast<size_t>(__builtin_ctzll(x ^ y)) / 8;
    at += 8;
  }
  while (at < limit && a[at] == b[at]) at++;
  return at;
}
constexpr size_t kSearchCap = 4096;  // bytes one suffix search looks at; longer matches are extended

// Collects commands in order and merges neighbours: a literal run that continues the previous
// one, and a copy that continues the previous copy in the old file, cost nothing extra.
class CommandSink {
 public:
  explicit CommandSink(const uint8_t* target) : target_(target) {}

  void literal(size_t from, size_t count) {
    if (count == 0) return;
    if (kind_ == Kind::Literal && start_ + length_ == from) {
      length_ += count;
      return;
    }
    flush();
    kind_ = Kind::Literal;
    start_ = from;
    length_ = count;
  }

  void copy(uint32_t offset, size_t length) {
    if (length == 0) return;
    if (kind_ == Kind::Copy && start_ + length_ == offset) {
      length_ += length;
      return;
    }
    flush();
    kind_ = Kind::Copy;
    start_ = offset;
    length_ = length;
  }

  void flush() {
    if (kind_ == Kind::Literal) commands.literal(target_ + start_, length_);
    if (kind_ == Kind::Copy)
      commands.copy(static_cast<uint32_t>(length_), static_cast<uint32_t>(start_));
    kind_ = Kind::None;
  }

  patchwriter::DeltaCommands commands;

 private:
  enum class Kind { None, Literal, Copy };
  const uint8_t* target_;
  Kind kind_ = Kind::None;
  size_t start_ = 0, length_ = 0;
};

// Which strings of `kGram` bytes the old file holds, as a bitmap of their hashes (one to two bits
// per old byte): a position whose string is not there cannot start a copy, and needs no search.
class GramFilter {
 public:
  static constexpr size_t kGram = 6;

  GramFilter(const uint8_t* old, size_t size) {
    bits_ = 16;
    while ((size_t{1} << bits_) < size) bits_++;
    map_.assign((size_t{1} << bits_) / 64, 0);
    for (size_t at = 0; at + kGram <= size; at++) {
      uint64_t slot = hash(old + at);
      map_[slot / 64] |= uint64_t{1} << (slot % 64);
    }
  }

  // False when the old file surely lacks the kGram bytes at `bytes` (which must have as many).
  bool mayHold(const uint8_t* bytes) const {
    uint64_t slot = hash(bytes);
    return map_[slot / 64] >> (slot % 64) & 1;
  }

 private:
  uint64_t hash(const uint8_t* bytes) const {
    uint64_t value = 0;
    std::memcpy(&value, bytes, kGram);
    return (value * 0x9E3779B97F4A7C15ull) >> (64 - bits_);
  }

  unsigned bits_;
  std::vector<uint64_t> map_;
};

// The longest match at each position of the target in turn. A match found at one position
// still holds, one byte shorter, at the next; the suffix array is asked again only when that
// inherited match has become short, so long matches cost one search. Because each answer is at
// least the inherited one, where a match ends (position + length) never moves backwards.
//
// The parse can also leave another copy where it ends and continue from there, in the middle
// of the inherited match: so the positions just after the end of any match found are searched
// too (a longer match may start there), which finds the switches that a parse needs.
//
// When the old file holds the match in several places, the place is chosen for deflate: one
// that an earlier match used (the copy command then repeats bytes that deflate has just seen),
// else the one nearest the current run of copies (its offset shares the high bytes).
class MatchWalk {
 public:
  // Walks target[from, size).
  MatchWalk(const SuffixMatcher& matcher, const GramFilter* filter, const uint8_t* old, size_t oldSize,
            const uint8_t* target, size_t from, size_t size, uint32_t searchBelow)
      : matcher_(matcher), filter_(filter), old_(old), oldSize_(oldSize), target_(target), from_(from), size_(size),
        searchBelow_(searchBelow), ends_((size - from) / 64 + 1, 0), used_(kUsedSlots, 0) {}

  // The match at `position`; positions must be asked for in order, one by one.
  Match at(size_t position) {
    if (current_.length > 1) {
      current_.offset++;
      current_.length--;
    } else {
      current_.length = 0;
    }
    size_t relative = position - from_;
    if (ends_[relative / 64] >> (relative % 64) & 1) afterEnd_ = kAfterEnd;
    bool search = current_.length < searchBelow_ || afterEnd_ > 0;
    if (search && filter_ && (size_ - position < GramFilter::kGram || !filter_->mayHold(target_ + position)))
      search = false;  // no copy can start here
    if (search) {
      Match found = matcher_.longest(target_ + position, size_ - position, kSearchCap, &others_, kPlaces);
      if (found.length > current_.length) {
        found.offset = place(found.offset, static_cast<int64_t>(position) + delta_);
        current_ = found;
        if (found.length >= kSearchCap) extend(position);
        delta_ = static_cast<int64_t>(found.offset) - static_cast<int64_t>(position);
        used_[slot(found.offset)] = found.offset + 1;
      }
      size_t end = relative + found.length;
      if (found.length > 0 && end < size_ - from_) ends_[end / 64] |= uint64_t{1} << (end % 64);
    }
    if (afterEnd_ > 0) afterEnd_--;
    return current_;
  }

 private:
  // Of `first` and the other places of the same match, the one an earlier match used, else the
  // one nearest `near`.
  uint32_t place(uint32_t first, int64_t near) const {
    if (used_[slot(first)] == first + 1) return first;
    uint32_t chosen = first;
    uint64_t distance = static_cast<uint64_t>(std::llabs(static_cast<int64_t>(first) - near));
    for (uint32_t offset : others_) {
      if (used_[slot(offset)] == offset + 1) return offset;
      uint64_t gap = static_cast<uint64_t>(std::llabs(static_cast<int64_t>(offset) - near));
      if (gap < distance) {
        distance = gap;
        chosen = offset;
      }
    }
    return chosen;
  }

  static size_t slot(uint32_t offset) { return (offset * 0x9E3779B1u) >> (32 - kUsedBits); }

  void extend(size_t position) {
    size_t length = current_.length;
    size_t limit = std::min(size_ - position, oldSize_ - current_.offset);
    length += commonLength(target_ + position + length, old_ + current_.offset + length, limit - length);
    current_.length = static_cast<uint32_t>(length);
  }

  const SuffixMatcher& matcher_;
  const GramFilter* filter_;
  const uint8_t* old_;
  size_t oldSize_;
  const uint8_t* target_;
  size_t from_, size_;
  uint32_t searchBelow_;
  Match current_;
  int64_t delta_ = 0;                  // offset minus position of the last match found
  static constexpr int kAfterEnd = 8;  // positions searched from each match end on
  std::vector<uint64_t> ends_;         // where found matches end, relative to from_
  int afterEnd_ = 0;
  static constexpr size_t kPlaces = 16;  // other places of a match looked at
  std::vector<uint32_t> others_;
  static constexpr int kUsedBits = 15;   // offsets of recent matches, one per slot, plus one
  static constexpr size_t kUsedSlots = size_t{1} << kUsedBits;
  std::vector<uint32_t> used_;
};

// The optimal parse of one window of positions [start, start + count): the cheapest sequence of
// literal runs and copies by the cost model, as a shortest path over positions with two states
// (a literal run is open, or not). A copy costs the same whatever its length, and the ends of
// the matches never move backwards, so the cheapest place to start a copy that reaches
// position j is the minimum over a sliding window: a monotone queue finds it in constant time.
class WindowParse {
 public:
  WindowParse(size_t capacity, const CostModel& costs, uint32_t minimumCopy)
      : costs_(costs), minimumCopy_(minimumCopy), offset_(capacity), reach_(capacity),
        copyFrom_(capacity + 1), best_(capacity + 1), flags_(capacity + 1) {}

  // Parses the window and hands its commands to `sink`; `literalOpen` says whether a literal
  // run is open at its start and receives the same for its end. Returns the window's cost.
  uint64_t run(MatchWalk& walk, const uint8_t* target, size_t start, size_t count,
               bool& literalOpen, CommandSink& sink) {
    uint32_t costL = literalOpen ? 0 : kInfinite;
    uint32_t costC = literalOpen ? kInfinite : 0;
    best_[0] = 0;
    flags_[0] = literalOpen ? kBestIsLiteral : 0;
    queue_.clear();
    for (size_t j = 1; j <= count; j++) {
      size_t i = j - 1;
      Match match = walk.at(start + i);
      offset_[i] = match.offset;
      reach_[i] = static_cast<uint32_t>(std::min<size_t>(i + match.length, count));
      if (j >= minimumCopy_) {
        size_t from = j - minimumCopy_;
        if (reach_[from] >= j) {
          while (!queue_.empty() && best_[queue_.back()] >= best_[from]) queue_.pop_back();
          queue_.push_back(static_cast<uint32_t>(from));
        }
      }
      while (!queue_.empty() && reach_[queue_.front()] < j) queue_.pop_front();
      uint8_t flags = 0;
      uint32_t copyCost = kInfinite;
      if (!queue_.empty()) {
        copyFrom_[j] = queue_.front();
        copyCost = best_[queue_.front()] + costs_.copyCommand;
      }
      uint32_t stay = costL, open = costC + costs_.literalHeader;
      if (stay <= open) flags |= kLiteralStays;
      uint32_t literalCost = std::min(stay, open) + costs_.literalByte[target[start + i]];
      costL = literalCost;
      costC = copyCost;
      if (costL <= costC) flags |= kBestIsLiteral;
      best_[j] = std::min(costL, costC);
      flags_[j] = flags;
    }
    bool endsInLiteral = costL <= costC;
    uint32_t cost = std::min(costL, costC);
    emit(start, count, endsInLiteral, sink);
    literalOpen = endsInLiteral;
    return cost;
  }

 private:
  static constexpr uint8_t kLiteralStays = 1;   // the literal state came from the literal state
  static constexpr uint8_t kBestIsLiteral = 2;  // the cheaper state at this position is literal

  struct Step {
    bool literal;
    size_t from, length;
    uint32_t offset;
  };

  void emit(size_t start, size_t count, bool literal, CommandSink& sink) {
    steps_.clear();
    size_t j = count;
    while (j > 0) {
      if (literal) {
        size_t end = j;
        while (j > 0 && literal) {
          literal = (flags_[j] & kLiteralStays) != 0;
          j--;
        }
        steps_.push_back({true, j, end - j, 0});
      } else {
        size_t i = copyFrom_[j];
        steps_.push_back({false, i, j - i, offset_[i]});
        literal = (flags_[i] & kBestIsLiteral) != 0;
        j = i;
      }
    }
    for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
      if (step->literal)
        sink.literal(start + step->from, step->length);
      else
        sink.copy(step->offset, step->length);
    }
  }

  const CostModel& costs_;
  uint32_t minimumCopy_;
  std::vector<uint32_t> offset_, reach_, copyFrom_;
  std::vector<uint32_t> best_;
  std::vector<uint8_t> flags_;
  std::deque<uint32_t> queue_;
  std::vector<Step> steps_;
};

// Parses target[from, to) on its own (its first match is searched afresh).
EncodedDelta parsePart(const SuffixMatcher& matcher, const GramFilter* filter, const uint8_t* old, size_t oldSize, const uint8_t* target,
                       size_t from, size_t to, const CostModel& costs, const DeltaOptions& options,
                       const std::function<void(size_t)>& progress) {
  EncodedDelta result;
  {
    MatchWalk walk(matcher, filter, old, oldSize, target, from, to, options.searchBelow);
    size_t window = std::min(options.window, std::max<size_t>(to - from, 1));
    WindowParse parse(window, costs, std::max<uint32_t>(options.minimumCopy, 2));
    CommandSink sink(target);
    // Room for commands as long as the part: what is never written takes no memory, and the
    // commands are not copied over and over as they grow.
    sink.commands.reserve(to - from + 16);
    bool literalOpen = false;
    for (size_t start = from; start < to; start += window) {
      size_t count = std::min(window, to - start);
      result.estimatedCost += parse.run(walk, target, start, count, literalOpen, sink);
      if (progress) progress(count);
    }
    sink.flush();
    result.commands = std::move(sink.commands);
  }
  result.commands.shrinkToFit();  // once the parse's tables are gone
  return result;
}

EncodedDelta encodeWithSuffixes(const uint8_t* old, size_t oldSize, const uint8_t* target,
                                size_t size, const DeltaOptions& options, const EncodeProgress& progress) {
  SuffixMatcher matcher(old, oldSize);
  // The target is read for its costs only now: while the suffixes are sorted (four bytes per old
  // byte), none of its pages need to be in memory.
  const CostModel costs = CostModel::forTarget(target, size, oldSize);
  std::unique_ptr<GramFilter> filter;
  if (options.minimumCopy >= GramFilter::kGram) filter = std::make_unique<GramFilter>(old, oldSize);
  // Each cut costs at most one more command. The parts are fixed by the target's size, never by
  // the number of threads, so that every machine writes the same container.
  size_t partSize = std::max<size_t>(options.partSize, 1);
  size_t parts = std::max<size_t>(size / partSize, 1);
  unsigned threadCount = static_cast<unsigned>(std::clamp<size_t>(options.threads, 1, parts));
  std::vector<EncodedDelta> results(parts);
  std::atomic<uint64_t> done{0};
  std::atomic<size_t> nextPart{0};
  std::mutex progressLock;
  auto report = [&](size_t count) {
    uint64_t now = done += count;
    if (progress) {
      std::lock_guard<std::mutex> lock(progressLock);
      progress(now);
    }
  };
  auto worker = [&] {
    for (size_t part; (part = nextPart++) < parts;) {
      size_t from = part * partSize, to = part + 1 == parts ? size : from + partSize;
      results[part] = parsePart(matcher, filter.get(), old, oldSize, target, from, to, costs, options, report);
    }
  };
  std::vector<std::thread> threads;
  for (unsigned t = 1; t < threadCount; t++) threads.emplace_back(worker);
  worker();
  for (std::thread& thread : threads) thread.join();
  EncodedDelta result = std::move(results[0]);
  result.wholeCost = costs.literalRun(target, size);
  for (size_t part = 1; part < parts; part++) {
    result.commands.append(results[part].commands);
    result.estimatedCost += results[part].estimatedCost;
    results[part] = EncodedDelta{};
  }
  return result;
}

// ---- anchors, for old files too large to sort in time ----

constexpr size_t kAnchorWidth = 32;  // bytes hashed per anchor
constexpr size_t kAnchorStep = 16;   // one anchor every this many old bytes
constexpr uint64_t kRollBase = 0x100000001B3ull;
constexpr size_t kMaxBackward = size_t{1} << 24;  // how far a match may reach back over pieces

uint64_t rollPower() {
  uint64_t power = 1;
  for (size_t k = 0; k < kAnchorWidth; k++) power *= kRollBase;
  return power;
}

uint64_t hashWindow(const uint8_t* bytes) {
  uint64_t hash = 0;
  for (size_t k = 0; k < kAnchorWidth; k++) hash = hash * kRollBase + bytes[k] + 1;
  return hash;
}

// A command of the anchor parse, kept until the end so that a later match can take its place.
struct Piece {
  size_t start, length;  // in the target
  size_t offset;         // in the old file
};

EncodedDelta encodeWithAnchors(const uint8_t* old, size_t oldSize, const uint8_t* target,
                               size_t size, const EncodeProgress& progress) {
  EncodedDelta result;
  const CostModel costs = CostModel::forTarget(target, size, oldSize);
  result.wholeCost = costs.literalRun(target, size);
  // Buckets of four anchors; a window that merely repeats the previous anchor's (padding) is
  // not stored again, so the slots go to different places.
  constexpr size_t kWays = 4;
  size_t buckets = 1;
  while (buckets * kWays < 2 * (oldSize / kAnchorStep + 1)) buckets <<= 1;
  std::vector<uint32_t> table(buckets * kWays, UINT32_MAX);
  const uint64_t power = rollPower();
  auto bucketOf = [&](uint64_t hash) {
    return static_cast<size_t>((hash * 0x9E3779B97F4A7C15ull) >> 24) & (buckets - 1);
  };
  if (oldSize >= kAnchorWidth) {
    for (size_t at = 0; at + kAnchorWidth <= oldSize; at += kAnchorStep) {
      if (at >= kAnchorStep && std::equal(old + at, old + at + kAnchorWidth, old + at - kAnchorStep))
        continue;
      uint32_t* bucket = &table[bucketOf(hashWindow(old + at)) * kWays];
      for (size_t way = 0; way < kWays; way++) {
        if (bucket[way] == UINT32_MAX) {
          bucket[way] = static_cast<uint32_t>(at);
          break;
        }
      }
    }
  }
  // Copies found so far, in target order. A new match is extended backwards over earlier
  // pieces as well: it needs a copy command anyway, so swallowing what it covers only saves.
  // That is how a range whose first anchors pointed at a look-alike (a repeated or padded
  // region) is still found whole once an anchor unique to it is reached.
  std::vector<Piece> pieces;
  size_t done = 0;  // target bytes already covered by copies or left behind as literal
  size_t position = 0;
  uint64_t hash = 0;
  bool hashValid = false;
  uint64_t reported = 0;
  while (oldSize >= kAnchorWidth && position + kAnchorWidth <= size) {
    if (!hashValid) {
      hash = hashWindow(target + position);
      hashValid = true;
    }
    const uint32_t* bucket = &table[bucketOf(hash) * kWays];
    size_t bestStart = 0, bestLength = 0, bestOffset = 0;
    for (size_t way = 0; way < kWays && bucket[way] != UINT32_MAX; way++) {
      size_t candidate = bucket[way];
      if (!std::equal(target + position, target + position + kAnchorWidth, old + candidate))
        continue;
      size_t back = 0;
      while (back < position && back < candidate && back < kMaxBackward &&
             target[position - back - 1] == old[candidate - back - 1])
        back++;
      size_t forward = kAnchorWidth + commonLength(target + position + kAnchorWidth, old + candidate + kAnchorWidth,
                                                   std::min(size - position, oldSize - candidate) - kAnchorWidth);
      if (back + forward > bestLength) {
        bestStart = position - back;
        bestLength = back + forward;
        bestOffset = candidate - back;
      }
    }
    if (bestLength > 0) {
      while (!pieces.empty() && pieces.back().start >= bestStart) pieces.pop_back();
      if (!pieces.empty() && pieces.back().start + pieces.back().length > bestStart)
        pieces.back().length = bestStart - pieces.back().start;
      pieces.push_back({bestStart, bestLength, bestOffset});
      done = bestStart + bestLength;
      position = done;
      hashValid = false;
      if (progress && done - reported >= (size_t{1} << 22)) {
        reported = done;
        progress(done);
      }
      continue;
    }
    if (position + kAnchorWidth < size)
      hash = hash * kRollBase + target[position + kAnchorWidth] + 1 -
             power * (target[position] + uint64_t{1});
    position++;
  }
  CommandSink sink(target);
  size_t covered = 0;
  for (const Piece& piece : pieces) {
    if (piece.start > covered) {
      result.estimatedCost += costs.literalRun(target + covered, piece.start - covered);
      sink.literal(covered, piece.start - covered);
    }
    sink.copy(static_cast<uint32_t>(piece.offset), piece.length);
    result.estimatedCost += costs.copyCommand;
    covered = piece.start + piece.length;
  }
  if (size > covered) {
    result.estimatedCost += costs.literalRun(target + covered, size - covered);
    sink.literal(covered, size - covered);
  }
  sink.flush();
  result.commands = std::move(sink.commands);
  if (progress) progress(size);
  return result;
}

}  // namespace

EncodedDelta encodeDelta(const uint8_t* old, size_t oldSize, const uint8_t* target, size_t size,
                         const DeltaOptions& options, const EncodeProgress& progress) {
  if (oldSize > options.suffixLimit) return encodeWithAnchors(old, oldSize, target, size, progress);
  return encodeWithSuffixes(old, oldSize, target, size, options, progress);
}

}  // namespace patchbuild
