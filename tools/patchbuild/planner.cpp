// Per-file decisions (rename, write, deltas) and the ordering of the records.
#include "patchbuild/planner.h"

#include <algorithm>
#include <map>

#include "patchbuild/simulator.h"

namespace patchbuild {

namespace {

constexpr int kAbsent = -1;

std::string baseName(const std::string& folded) {
  size_t slash = folded.rfind('\\');
  return slash == std::string::npos ? folded : folded.substr(slash + 1);
}

size_t depthOf(const std::string& name) { return static_cast<size_t>(std::count(name.begin(), name.end(), '\\')); }

struct DeltaStep {
  uint8_t type;
  int16_t version;
  int source, target;
};

// What happens to one file of the newest version.
struct FilePlan {
  std::string folded, name;
  std::string renameFrom;   // folded name of the rename source, or empty
  std::string renameName;   // its payload name
  std::vector<int> before;  // content per version once renames ran (kAbsent: none)
  bool ident = false;
  bool write = false;
  std::vector<DeltaStep> steps;
};

class Planner {
 public:
  explicit Planner(const PlanInput& input)
      : in_(input), versions_(*input.versions), newest_(versions_.back()),
        count_(static_cast<int>(versions_.size())) {
    for (const IdentEntry& entry : *input.ident) identNames_.insert(entry.folded);
  }

  // Works out renames and each file's contents before the deltas, and the delta steps.
  void analyse() {
    std::set<std::string> usedSources;
    for (const auto& [folded, file] : newest_.files) {
      FilePlan plan;
      plan.folded = folded;
      plan.name = file.name;
      plan.ident = identNames_.count(folded) > 0;
      int final = file.content;
      std::vector<int> absentIn;
      for (int v = 0; v + 1 < count_; v++)
        if (!versions_[v].files.count(folded)) absentIn.push_back(v);
      if (!absentIn.empty() && !plan.ident && !in_.forcedWrites.count(folded))
        findRename(plan, absentIn, final, usedSources);
      for (int v = 0; v < count_; v++) {
        auto here = versions_[v].files.find(folded);
        if (here != versions_[v].files.end())
          plan.before.push_back(here->second.content);
        else if (!plan.renameFrom.empty())
          plan.before.push_back(versions_[v].files.at(plan.renameFrom).content);
        else
          plan.before.push_back(kAbsent);
      }
      plan.before.back() = final;
      bool unchanged = std::all_of(plan.before.begin(), plan.before.end(), [&](int c) { return c == final; });
      if (unchanged) {
        plans_.push_back(plan);
        continue;
      }
      bool absent = std::find(plan.before.begin(), plan.before.end(), kAbsent) != plan.before.end();
      if (absent || in_.forcedWrites.count(folded) || !hasOwnTemporaryPath(plan.name)) {
        plan.write = true;
      } else {
        plan.steps = in_.mode == DeltaMode::Chained ? chainedSteps(plan) : exactSteps(plan);
      }
      plans_.push_back(plan);
    }
  }

  std::set<std::pair<int, int>> pairs() const {
    std::set<std::pair<int, int>> wanted;
    for (const FilePlan& plan : plans_)
      for (const DeltaStep& step : plan.steps) wanted.insert({step.source, step.target});
    return wanted;
  }

  // Deltas where they cost less than a write. Identification files keep their deltas whatever
  // they cost: a delta replaces its file in one step, where a cut-off write leaves it unreadable,
  // and chained deltas move it stage by stage with the other files, where a write would take it
  // straight to the newest version while the others are still mid-way; a second run would then
  // start from the wrong version.
  void decide(const PlanCosts& costs) {
    for (FilePlan& plan : plans_) {
      if (plan.steps.empty()) continue;
      uint64_t deltas = 0;
      for (const DeltaStep& step : plan.steps) deltas += costs.delta(step.source, step.target);
      uint64_t write = costs.write(plan.before.back());
      if (!plan.ident && deltas > write) {
        plan.steps.clear();
        plan.write = true;
      }
      // A rename is only worth keeping when the moved content is used.
      if (plan.write && !plan.renameFrom.empty()) {
        plan.renameFrom.clear();
        plan.renameName.clear();
      }
    }
  }

  std::vector<PlannedOp> operations() const {
    std::vector<PlannedOp> early, makes, renames, deletes, removesEarly, writes, deltas, identTail, removesLate;
    // Files that the newest version lacks.
    std::map<std::string, std::string> gone;  // folded -> a payload spelling
    for (int v = 0; v + 1 < count_; v++)
      for (const auto& [folded, file] : versions_[v].files)
        if (!newest_.files.count(folded)) gone.emplace(folded, file.name);
    std::set<std::string> identFolders;  // folders that hold an identification file in some version
    for (const std::string& folded : identNames_)
      for (size_t slash = folded.find('\\'); slash != std::string::npos; slash = folded.find('\\', slash + 1))
        identFolders.insert(folded.substr(0, slash));
    for (const auto& [folded, name] : gone) {
      PlannedOp op;
      op.type = 4;
      op.name = name;
      op.ident = identNames_.count(folded) > 0;
      if (newest_.folders.count(folded))
        early.push_back(op);
      else if (op.ident)
        identTail.push_back(op);
      else
        deletes.push_back(op);
    }
    // Folders.
    std::vector<std::string> toMake;
    for (const auto& [folded, name] : newest_.folders) {
      for (int v = 0; v + 1 < count_; v++)
        if (!versions_[v].folders.count(folded)) {
          toMake.push_back(folded);
          break;
        }
    }
    std::sort(toMake.begin(), toMake.end(), [](const std::string& a, const std::string& b) {
      return depthOf(a) != depthOf(b) ? depthOf(a) < depthOf(b) : a < b;
    });
    for (const std::string& folded : toMake) makes.push_back({6, newest_.folders.at(folded), {}, 0, -1, -1, false});
    std::map<std::string, std::string> oldFolders;
    for (int v = 0; v + 1 < count_; v++)
      for (const auto& [folded, name] : versions_[v].folders)
        if (!newest_.folders.count(folded)) oldFolders.emplace(folded, name);
    std::vector<std::string> toRemove;
    for (const auto& [folded, name] : oldFolders) toRemove.push_back(folded);
    std::sort(toRemove.begin(), toRemove.end(), [](const std::string& a, const std::string& b) {
      return depthOf(a) != depthOf(b) ? depthOf(a) > depthOf(b) : a < b;
    });
    for (const std::string& folded : toRemove) {
      PlannedOp op{7, oldFolders.at(folded), {}, 0, -1, -1, identFolders.count(folded) > 0};
      (op.ident ? removesLate : removesEarly).push_back(op);
    }
    // Files of the newest version.
    std::map<int, std::vector<PlannedOp>> stages;  // chained: by version; exact: one stage
    std::map<int, std::vector<PlannedOp>> identStages;
    for (const FilePlan& plan : plans_) {
      if (!plan.renameFrom.empty())
        renames.push_back({5, plan.renameName, plan.name, 0, -1, -1, false});
      if (plan.write) {
        PlannedOp op{3, plan.name, {}, 0, -1, plan.before.back(), plan.ident};
        (plan.ident ? identTail : writes).push_back(op);
      }
      for (const DeltaStep& step : plan.steps) {
        PlannedOp op{step.type, plan.name, {}, step.version, step.source, step.target, plan.ident};
        int stage = in_.mode == DeltaMode::Chained ? step.version : 0;
        (plan.ident ? identStages : stages)[stage].push_back(op);
      }
    }
    for (int stage = 0; stage < count_; stage++) {
      for (const PlannedOp& op : stages[stage]) deltas.push_back(op);
      for (const PlannedOp& op : identStages[stage]) deltas.push_back(op);
    }
    std::vector<PlannedOp> all;
    for (auto* group : {&early, &makes, &renames, &deletes, &removesEarly, &writes, &deltas, &identTail, &removesLate})
      all.insert(all.end(), group->begin(), group->end());
    rewriteLookAlikesAtTemporaryPaths(all);
    return all;
  }

 private:
  // A write whose file is missing takes a file at its temporary path that holds exactly its bytes
  // (not none) for its own copy, left by a run stopped before the rename, and renames it into
  // place. Where the newest version keeps a file with those very bytes at that path, the updater
  // cannot tell the two apart: that file is written again after the write that moves it.
  void rewriteLookAlikesAtTemporaryPaths(std::vector<PlannedOp>& all) const {
    for (size_t i = 0; i < all.size(); i++) {
      if (all[i].type != 3 || endsInTmp(all[i].name) || temporaryName(all[i].name).empty()) continue;
      std::string folded = foldName(all[i].name, in_.codePage);
      std::string temporary = foldName(temporaryName(all[i].name), in_.codePage);
      auto lookAlike = newest_.files.find(temporary);
      if (lookAlike == newest_.files.end() || lookAlike->second.content != all[i].target ||
          (*in_.contents)[all[i].target].size == 0)
        continue;
      bool missingSomewhere = false;
      for (int v = 0; v + 1 < count_; v++) missingSomewhere = missingSomewhere || !versions_[v].files.count(folded);
      if (!missingSomewhere) continue;
      auto written = std::find_if(all.begin(), all.end(), [&](const PlannedOp& op) {
        return op.type == 3 && foldName(op.name, in_.codePage) == temporary;
      });
      if (written != all.end() && written > all.begin() + static_cast<std::ptrdiff_t>(i)) continue;
      if (written != all.end()) {  // written before: moved after
        all.erase(written);
        i--;
      }
      PlannedOp again{3, lookAlike->second.name, {}, 0, -1, lookAlike->second.content, identNames_.count(temporary) > 0};
      all.insert(all.begin() + static_cast<std::ptrdiff_t>(i) + 1, again);
    }
  }

  // True when a delta of `name` would have a temporary path to itself: not the name itself, not
  // outside the folder, and no name that any version holds.
  bool hasOwnTemporaryPath(const std::string& name) const {
    std::string temporary = temporaryName(name);
    if (endsInTmp(name) || temporary.empty()) return false;
    std::string folded = foldName(temporary, in_.codePage);
    for (const VersionTree& tree : versions_)
      if (tree.files.count(folded) || tree.folders.count(folded)) return false;
    return true;
  }

  // Files of version `v` that the newest version lacks (and that identify no version), by
  // content and by base name, each list in name order: the files a rename could move.
  struct RenameSources {
    std::map<int, std::vector<std::string>> byContent;
    std::map<std::string, std::vector<std::string>> byBase;
  };

  RenameSources& sourcesIn(int v) {
    auto found = sources_.find(v);
    if (found != sources_.end()) return found->second;
    RenameSources& sources = sources_[v];
    for (const auto& [folded, file] : versions_[v].files) {
      if (newest_.files.count(folded) || newest_.folders.count(folded) || identNames_.count(folded)) continue;
      sources.byContent[file.content].push_back(folded);
      sources.byBase[baseName(folded)].push_back(folded);
    }
    return sources;
  }

  // The first source in `candidates` that every version in `absentIn` holds (with `final` as
  // its content in each, when `sameContent`); sources already used leave the list.
  std::string firstSource(std::vector<std::string>& candidates, const std::vector<int>& absentIn, int final,
                          bool sameContent, const std::set<std::string>& used) const {
    for (auto it = candidates.begin(); it != candidates.end();) {
      if (used.count(*it)) {
        it = candidates.erase(it);
        continue;
      }
      bool fits = true;
      for (int v : absentIn) {
        auto there = versions_[v].files.find(*it);
        fits = fits && there != versions_[v].files.end() && (!sameContent || there->second.content == final);
      }
      if (fits) return *it;
      ++it;
    }
    return {};
  }

  // A file of older versions that the newest lacks, present wherever this file is missing:
  // renamed into place it saves writing the file. Same content first; else the same base name.
  void findRename(FilePlan& plan, const std::vector<int>& absentIn, int final, std::set<std::string>& used) {
    for (int v : absentIn)
      if (versions_[v].folders.count(plan.folded)) return;  // a folder stands there
    RenameSources& sources = sourcesIn(absentIn.front());
    std::string chosen;
    if (auto same = sources.byContent.find(final); same != sources.byContent.end())
      chosen = firstSource(same->second, absentIn, final, true, used);
    if (auto named = sources.byBase.find(baseName(plan.folded)); chosen.empty() && named != sources.byBase.end())
      chosen = firstSource(named->second, absentIn, final, false, used);
    if (chosen.empty()) return;
    plan.renameFrom = chosen;
    plan.renameName = versions_[absentIn.front()].files.at(chosen).name;
    used.insert(chosen);
  }

  // One type-1 record per change between neighbouring versions, filed under the older one.
  std::vector<DeltaStep> chainedSteps(const FilePlan& plan) const {
    std::vector<DeltaStep> steps;
    for (int k = 0; k + 1 < count_; k++)
      if (plan.before[k] != plan.before[k + 1])
        steps.push_back({1, static_cast<int16_t>(k), plan.before[k], plan.before[k + 1]});
    return steps;
  }

  // Straight to the newest content from each version. Versions that share a content share one
  // type-1 record filed under the newest of them, when every other version below it has been
  // brought to the newest content by an earlier record (then it passes the shared record over);
  // otherwise each gets its own type-2 record.
  std::vector<DeltaStep> exactSteps(const FilePlan& plan) const {
    int final = plan.before.back();
    std::map<int, std::vector<int>> groups;  // content -> versions
    for (int v = 0; v + 1 < count_; v++)
      if (plan.before[v] != final) groups[plan.before[v]].push_back(v);
    std::vector<std::pair<int, std::vector<int>>> ordered(groups.begin(), groups.end());
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.second.back() < b.second.back(); });
    std::vector<DeltaStep> steps;
    std::set<int> handled;
    for (const auto& [content, members] : ordered) {
      int newestMember = members.back();
      bool shareable = true;
      for (int w = 0; w < newestMember; w++)
        if (plan.before[w] != content && plan.before[w] != final && !handled.count(w)) shareable = false;
      if (shareable && members.size() > 1) {
        steps.push_back({1, static_cast<int16_t>(newestMember), content, final});
      } else {
        for (int v : members) steps.push_back({2, static_cast<int16_t>(v), content, final});
      }
      handled.insert(members.begin(), members.end());
    }
    return steps;
  }

  const PlanInput& in_;
  const std::vector<VersionTree>& versions_;
  const VersionTree& newest_;
  int count_;
  std::set<std::string> identNames_;
  std::vector<FilePlan> plans_;
  std::map<int, RenameSources> sources_;
};

}  // namespace

std::set<std::pair<int, int>> candidateDeltas(const PlanInput& input) {
  Planner planner(input);
  planner.analyse();
  return planner.pairs();
}

std::vector<PlannedOp> planOperations(const PlanInput& input, const PlanCosts& costs) {
  Planner planner(input);
  planner.analyse();
  planner.decide(costs);
  return planner.operations();
}

}  // namespace patchbuild
