// Choosing and checking identification files: a small set cover over pairs of versions.
#include "patchbuild/identification.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <functional>
#include <set>

#include "patchbuild/codepage.h"

namespace patchbuild {

namespace {

using Cover = std::vector<uint64_t>;  // one bit per pair of versions (u < v)

struct PairIndex {
  int versions;
  size_t count() const { return static_cast<size_t>(versions) * (versions - 1) / 2; }
  size_t of(int u, int v) const {  // u < v
    return static_cast<size_t>(v) * (v - 1) / 2 + static_cast<size_t>(u);
  }
};

// The pairs (u, v) that a file tells apart: installed exactly as v, version u (earlier) does not
// match because the file's checksum in u is expected and differs from what v has there.
Cover coverOf(const IdentEntry& entry, const PairIndex& pairs) {
  Cover cover((pairs.count() + 63) / 64, 0);
  for (int v = 1; v < pairs.versions; v++)
    for (int u = 0; u < v; u++)
      if (entry.expected[u] != 0 && entry.expected[u] != entry.expected[v]) {
        size_t bit = pairs.of(u, v);
        cover[bit / 64] |= uint64_t{1} << (bit % 64);
      }
  return cover;
}

bool coversAll(const Cover& cover, const PairIndex& pairs) {
  for (size_t bit = 0; bit < pairs.count(); bit++)
    if (!(cover[bit / 64] >> (bit % 64) & 1)) return false;
  return true;
}

void unite(Cover& into, const Cover& other) {
  for (size_t i = 0; i < into.size(); i++) into[i] |= other[i];
}

std::string pairProblem(const Cover& cover, const PairIndex& pairs,
                        const std::vector<std::string>& names, const char* what) {
  for (int v = 1; v < pairs.versions; v++)
    for (int u = 0; u < v; u++) {
      size_t bit = pairs.of(u, v);
      if (!(cover[bit / 64] >> (bit % 64) & 1))
        return fmt::format("versions {} and {} cannot be told apart: {}, so an installed {} would "
                           "be recognised as {}",
                           names[u], names[v], what, names[v], names[u]);
    }
  return {};
}

struct Candidate {
  IdentEntry entry;
  Cover cover;
  bool absentSomewhere = false;
  uint64_t largest = 0;
  // Ordered: files every version has first, then small ones, then by name.
  bool operator<(const Candidate& other) const {
    if (absentSomewhere != other.absentSomewhere) return !absentSomewhere;
    if (largest != other.largest) return largest < other.largest;
    return entry.name < other.entry.name;
  }
};

}  // namespace

IdentEntry identEntryFor(const std::vector<VersionTree>& versions, const ContentTable& contents,
                         const std::string& folded) {
  IdentEntry entry;
  entry.folded = folded;
  for (const VersionTree& tree : versions) {
    auto found = tree.files.find(folded);
    if (found != tree.files.end()) {
      entry.name = found->second.name;  // the newest spelling wins
      entry.expected.push_back(contents[found->second.content].checksum);
    } else {
      entry.expected.push_back(0);
    }
  }
  return entry;
}

int identifyFrom(const std::vector<IdentEntry>& entries, const std::vector<uint32_t>& found,
                 int versionCount) {
  for (int v = 0; v < versionCount; v++) {
    bool matches = true;
    for (size_t f = 0; f < entries.size() && matches; f++)
      matches = entries[f].expected[v] == 0 || entries[f].expected[v] == found[f];
    if (matches) return v;
  }
  return -1;
}

bool chooseIdentFiles(const std::vector<VersionTree>& versions, const ContentTable& contents,
                      const std::vector<std::string>& versionNames, std::vector<IdentEntry>& chosen,
                      std::string& error) {
  chosen.clear();
  PairIndex pairs{static_cast<int>(versions.size())};
  if (pairs.count() == 0) return true;  // one version: nothing to tell apart
  std::set<std::string> names;
  for (const VersionTree& tree : versions)
    for (const auto& [folded, file] : tree.files) names.insert(folded);
  // One candidate per distinct cover: the best file among those that tell the same pairs apart.
  std::map<Cover, Candidate> best;
  Cover all((pairs.count() + 63) / 64, 0);
  for (const std::string& folded : names) {
    Candidate candidate;
    candidate.entry = identEntryFor(versions, contents, folded);
    candidate.cover = coverOf(candidate.entry, pairs);
    if (std::all_of(candidate.cover.begin(), candidate.cover.end(), [](uint64_t w) { return w == 0; }))
      continue;
    for (size_t v = 0; v < versions.size(); v++) {
      auto found = versions[v].files.find(folded);
      if (found == versions[v].files.end())
        candidate.absentSomewhere = true;
      else
        candidate.largest = std::max(candidate.largest, contents[found->second.content].size);
    }
    unite(all, candidate.cover);
    auto slot = best.find(candidate.cover);
    if (slot == best.end() || candidate < slot->second) best[candidate.cover] = candidate;
  }
  if (!coversAll(all, pairs)) {
    error = pairProblem(all, pairs, versionNames,
                        "no file that the older one has is different or missing in the newer one (a file "
                        "that only the newer one has cannot identify it)");
    return false;
  }
  std::vector<Candidate> pool;
  for (auto& [cover, candidate] : best) pool.push_back(std::move(candidate));
  std::sort(pool.begin(), pool.end());
  // Score of a set: fewer files first, then fewer files that some version lacks, then bytes.
  auto score = [&](const std::vector<size_t>& set) {
    uint64_t absent = 0, bytes = 0;
    for (size_t i : set) {
      absent += pool[i].absentSomewhere;
      bytes += pool[i].largest;
    }
    return std::make_pair(absent, bytes);
  };
  std::vector<size_t> pick;
  bool found = false;
  std::pair<uint64_t, uint64_t> bestScore;
  const size_t n = pool.size();
  for (size_t k = 1; k <= 3 && !found; k++) {
    if ((k == 2 && n > 2000) || (k == 3 && n > 150)) break;
    std::vector<size_t> set(k);
    std::function<void(size_t, size_t)> search = [&](size_t depth, size_t from) {
      if (depth == k) {
        Cover cover((pairs.count() + 63) / 64, 0);
        for (size_t i : set) unite(cover, pool[i].cover);
        if (!coversAll(cover, pairs)) return;
        auto s = score(set);
        if (!found || s < bestScore) {
          found = true;
          bestScore = s;
          pick = set;
        }
        return;
      }
      for (size_t i = from; i < n; i++) {
        set[depth] = i;
        search(depth + 1, i + 1);
      }
    };
    search(0, 0);
  }
  if (!found) {
    // Greedy: the candidate that tells the most remaining pairs apart, best-ranked on ties.
    Cover cover((pairs.count() + 63) / 64, 0);
    while (!coversAll(cover, pairs)) {
      size_t bestIndex = 0, bestGain = 0;
      for (size_t i = 0; i < n; i++) {
        size_t gain = 0;
        for (size_t w = 0; w < cover.size(); w++)
          gain += static_cast<size_t>(__builtin_popcountll(pool[i].cover[w] & ~cover[w]));
        if (gain > bestGain) {
          bestGain = gain;
          bestIndex = i;
        }
      }
      unite(cover, pool[bestIndex].cover);
      pick.push_back(bestIndex);
    }
  }
  std::sort(pick.begin(), pick.end(), [&](size_t a, size_t b) { return pool[a].entry.name < pool[b].entry.name; });
  for (size_t i : pick) chosen.push_back(pool[i].entry);
  return true;
}

bool checkIdentFiles(const std::vector<VersionTree>& versions, const ContentTable& contents,
                     const std::vector<std::string>& versionNames,
                     const std::vector<std::string>& names, int codePage,
                     std::vector<IdentEntry>& chosen, std::string& error) {
  chosen.clear();
  PairIndex pairs{static_cast<int>(versions.size())};
  Cover all((pairs.count() + 63) / 64, 0);
  std::set<std::string> seen;
  for (const std::string& written : names) {
    std::string converted, why;
    if (!toCodePage(written, codePage, converted, why)) {
      error = fmt::format("the identification file \"{}\" {}", written, why);
      return false;
    }
    std::replace(converted.begin(), converted.end(), '/', '\\');
    std::string folded = foldName(converted, codePage);
    if (!seen.insert(folded).second) {
      error = fmt::format("the identification file \"{}\" is listed twice", written);
      return false;
    }
    bool anywhere = std::any_of(versions.begin(), versions.end(),
                                [&](const VersionTree& tree) { return tree.files.count(folded) > 0; });
    if (!anywhere) {
      error = fmt::format("the identification file \"{}\" is in none of the version folders", written);
      return false;
    }
    chosen.push_back(identEntryFor(versions, contents, folded));
    unite(all, coverOf(chosen.back(), pairs));
  }
  if (!coversAll(all, pairs)) {
    error = pairProblem(all, pairs, versionNames,
                        "none of the identification files differs between them; list another "
                        "file, or use auto = true");
    return false;
  }
  return true;
}

}  // namespace patchbuild
