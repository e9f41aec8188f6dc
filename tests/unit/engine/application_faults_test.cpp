// Application under file-system faults: for a realistic update, every call of every kind of
// file operation is made to fail in turn, and each run is held to the failure table (the code,
// what the failing record leaves, earlier records applied, later ones untouched), to the rule
// that the only verified copy of a file is never deleted, and to what running the update again
// then achieves.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>

#include "engine/application.h"
#include "engine/identification.h"
#include "platform/linux/standin.h"
#include "support/updater_fixture.h"
#include "update_scenario.h"

namespace {

using scenario::StepKind;
using scenario::Tree;
using standin::FileOp;

bool isPrefixOf(const Bytes& part, const Bytes& whole) {
  return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// What one record's files hold on disk, in the terms the failure table uses.
class StepView {
 public:
  StepView(const Tree& tree, const scenario::Step& step, const scenario::Update& update)
      : tree_(tree), step_(step), update_(update) {}

  bool applied() const {
    switch (step_.kind) {
      case StepKind::MakeFolder: return isFolder(name());
      case StepKind::RemoveFolder: return !present(name());
      case StepKind::Delta:
      case StepKind::WriteFile: return holds(name(), step_.after) && !present(temporary());
      case StepKind::DeleteFile: return !present(name());
      case StepKind::Rename: return !present(name()) && holds(newName(), step_.before);
    }
    return false;
  }

  bool untouched() const {
    switch (step_.kind) {
      case StepKind::MakeFolder: return !present(name());
      case StepKind::RemoveFolder: return isFolder(name());
      case StepKind::Delta: return holds(name(), step_.before) && temporaryAsBefore();
      case StepKind::WriteFile: return keptAsBefore() && !present(temporary());
      case StepKind::DeleteFile: return holds(name(), step_.before);
      case StepKind::Rename: return holds(name(), step_.before) && !present(newName());
    }
    return false;
  }

  // Whether the record that ended the run with `code` left what the failure table allows.
  bool failedAs(int32_t code) const {
    // A write keeps its old bytes, or, when only its rename failed, its new ones in the
    // temporary file: never a part of them.
    if (step_.kind == StepKind::WriteFile)
      return code == kApplyWriteFileFailed && (untouched() || (!present(name()) && holds(temporary(), step_.after)));
    if (step_.kind != StepKind::Delta) return false;  // the other records never stop a run
    bool targetKept = holds(name(), step_.before);
    switch (code) {
      case kApplySourceMismatch:
      case kApplySourceOpenFailed:
      case kApplyTempCreateFailed:
        return untouched();
      case kApplyLiteralWriteFailed:
      case kApplyCopyFailed:
        return targetKept && file(temporary()) && isPrefixOf(*file(temporary()), step_.after);
      case kApplyResultMismatch:
      case kApplyResultUnreadable:
        return targetKept && !present(temporary());
      case kApplyReplaceFailed:  // the delete failed, or the rename after it
        return (targetKept && !present(temporary())) || (!present(name()) && holds(temporary(), step_.after));
    }
    return false;
  }

 private:
  std::string name() const { return scenario::hostName(step_.name); }
  std::string newName() const { return scenario::hostName(step_.newName); }
  std::string temporary() const { return scenario::temporaryName(name()); }
  const Bytes* file(const std::string& n) const {
    auto entry = tree_.find(n);
    return entry != tree_.end() && entry->second ? &*entry->second : nullptr;
  }
  bool present(const std::string& n) const { return tree_.count(n) > 0; }
  bool isFolder(const std::string& n) const { return present(n) && !tree_.at(n); }
  bool holds(const std::string& n, const Bytes& content) const { return file(n) && *file(n) == content; }
  bool keptAsBefore() const { return step_.existedBefore ? holds(name(), step_.before) : !present(name()); }
  bool temporaryAsBefore() const {
    auto old = update_.oldTree.find(temporary());
    return old == update_.oldTree.end() ? !present(temporary()) : holds(temporary(), *old->second);
  }

  const Tree& tree_;
  const scenario::Step& step_;
  const scenario::Update& update_;
};

// The failure table as one rule over the whole operation list: every record before `failing`
// (the last one any operation touched) applied, though a delete, rename or folder record may
// have failed unnoticed on the way; with a failure code, the failing record left as that code
// allows and every later one untouched; with code 0, every record applied but for at most one
// whose failure was ignored. Returns one line per breach.
std::vector<std::string> failureTableBreaches(const scenario::Update& update, const Tree& tree, int32_t code,
                                              size_t failing) {
  std::vector<std::string> breaches;
  size_t end = code == kApplied ? update.steps.size() : failing;
  int ignored = 0;
  for (size_t i = 0; i < end; i++) {
    StepView view(tree, update.steps[i], update);
    if (view.applied() || (update.steps[i].simple() && view.untouched() && ignored++ == 0)) continue;
    breaches.push_back("record " + update.steps[i].name + " before the failing one is not applied");
  }
  if (code == kApplied) return breaches;
  if (!StepView(tree, update.steps[failing], update).failedAs(code))
    breaches.push_back("record " + update.steps[failing].name + " is not left as code " + std::to_string(code) + " allows");
  for (size_t later = failing + 1; later < update.steps.size(); later++)
    if (!StepView(tree, update.steps[later], update).untouched())
      breaches.push_back("record " + update.steps[later].name + " after the failing one was touched");
  return breaches;
}

// The codes a failure of each kind of operation can end a run with, for this update; 0 where
// the failure is ignored.
const std::map<FileOp, std::set<int32_t>> kCodesByFailedOperation = {
    // A write's look for a file at its temporary path finds none when it fails.
    {FileOp::Open, {kApplied, kApplySourceMismatch, kApplySourceOpenFailed, kApplyResultUnreadable}},
    // A write whose temporary file cannot be created is written in place.
    {FileOp::Create, {kApplied, kApplyTempCreateFailed, kApplyWriteFileFailed}},
    // A failed read at the very end of a file looks like its end.
    {FileOp::Read, {kApplied, kApplySourceMismatch, kApplyCopyFailed, kApplyResultMismatch}},
    {FileOp::Write, {kApplyLiteralWriteFailed, kApplyCopyFailed, kApplyWriteFileFailed}},
    {FileOp::Seek, {kApplyCopyFailed}},
    {FileOp::Close, {kApplied, kApplyWriteFileFailed}},
    // A read-only target that keeps its attribute cannot be deleted; a read-only stale temporary
    // file cannot be overwritten.
    {FileOp::ResetAttributes, {kApplied, kApplyTempCreateFailed, kApplyReplaceFailed}},
    {FileOp::Delete, {kApplied, kApplyReplaceFailed, kApplyWriteFileFailed}},
    {FileOp::Rename, {kApplied, kApplyReplaceFailed, kApplyWriteFileFailed}},
    // The next record writes into the folder that was not made.
    {FileOp::MakeFolder, {kApplyWriteFileFailed}},
    {FileOp::RemoveFolder, {kApplied}},
    // A delta's new file is checked by its checksum before the old one goes; a write has no
    // checksum, so its failed flush fails it.
    {FileOp::Flush, {kApplied, kApplyWriteFileFailed}},
};

class ApplicationFaults : public UpdaterTest {
 public:
  scenario::Update update = scenario::makeUpdate();

  void SetUp() override {
    UpdaterTest::SetUp();
    load(update.payload);
    useInstallFolder();
  }

  // Version 0 on disk, identified, the stand-in's counters at zero.
  void startFromVersion0() {
    standin::reset();
    scenario::writeTree(installPath(), update.oldTree, update.readOnly);
    identify();
    ASSERT_EQ(state.status, kStatusUpdateReady);
  }
  void identify() { identifyVersion(state, archive.checksum); }
  Tree onDisk() const { return scenario::readTree(installPath()); }

  // Watches every operation: notes the last record whose files one names, and holds every
  // deletion to the rule that a delta's or a write's target may only go once its replacement is
  // complete in the temporary file, and a temporary file only while the target is still whole.
  void watchOperations(std::vector<std::string>& breaches, size_t& lastTouched) {
    lastTouched = 0;
    standin::setFileOpHook([this, &breaches, &lastTouched](FileOp op, int64_t, const char* path) {
      if (!path) return true;
      std::string named = standin::hostPath(path);
      for (size_t i = 0; i < update.steps.size(); i++) {
        const scenario::Step& step = update.steps[i];
        std::string target = scenario::hostName(step.name), temporary = scenario::temporaryName(target);
        bool rebuilt = step.kind == StepKind::Delta || step.kind == StepKind::WriteFile;
        bool touches = named == at(target) || (!step.newName.empty() && named == at(scenario::hostName(step.newName))) ||
                       (rebuilt && named == at(temporary));
        if (!touches) continue;
        lastTouched = i;
        if (op != FileOp::Delete || !rebuilt) break;
        if (named == at(target) && scratch.read(installed(temporary)) != step.after)
          breaches.push_back("deleted " + target + " without its replacement complete beside it");
        bool targetWhole = scratch.exists(installed(target))
                               ? (scratch.read(installed(target)) == step.before || scratch.read(installed(target)) == step.after)
                               : !step.existedBefore;
        if (named == at(temporary) && !targetWhole)
          breaches.push_back("deleted " + temporary + " while " + target + " is not whole");
        break;
      }
      return true;
    });
  }
  std::string at(const std::string& hostName) const { return installPath() + "/" + hostName; }
};

TEST_F(ApplicationFaults, CleanRunBringsVersion0ToVersion1) {
  startFromVersion0();
  EXPECT_EQ(applyPatch(state), kApplied);
  EXPECT_EQ(scenario::differences(onDisk(), update.newTree), std::vector<std::string>{});
  EXPECT_EQ(state.applyDone, state.applyTotal);
}

TEST_F(ApplicationFaults, EveryFailingOperationEndsAsTheFailureTableSaysAndAReRunFinishesOrKeepsEveryFile) {
  startFromVersion0();
  int callsPerKind[standin::kFileOpKinds];
  for (int kind = 0; kind < standin::kFileOpKinds; kind++) callsPerKind[kind] = -standin::fileOpCount(FileOp(kind));
  ASSERT_EQ(applyPatch(state), kApplied);
  for (int kind = 0; kind < standin::kFileOpKinds; kind++) callsPerKind[kind] += standin::fileOpCount(FileOp(kind));

  int runs = 0, recovered = 0, leftovers = 0, ignoredRecordLeft = 0, damagedButSafe = 0;
  for (const auto& [op, codes] : kCodesByFailedOperation) {
    ASSERT_GT(callsPerKind[static_cast<int>(op)], 0) << standin::fileOpName(op) << " is never called";
    for (int nth = 1; nth <= callsPerKind[static_cast<int>(op)]; nth++) {
      SCOPED_TRACE(std::string(standin::fileOpName(op)) + " #" + std::to_string(nth));
      startFromVersion0();
      std::vector<std::string> breaches;
      size_t failing = 0;
      watchOperations(breaches, failing);
      standin::failNth(op, nth);
      int32_t code = applyPatch(state);
      runs++;
      EXPECT_EQ(codes.count(code), 1u) << "code " << code;
      EXPECT_EQ(failureTableBreaches(update, onDisk(), code, failing), std::vector<std::string>{});
      EXPECT_EQ(breaches, std::vector<std::string>{});
      EXPECT_EQ(state.status, code == kApplied ? kStatusApplied : kStatusApplying);

      // The user runs the update again. Nothing may be lost, whatever the outcome.
      standin::reset();
      identify();
      if (state.status == kStatusUpdateReady) EXPECT_EQ(applyPatch(state), kApplied);
      Tree final = onDisk();
      EXPECT_EQ(scenario::lossesIn(final, update), std::vector<std::string>{});
      std::vector<std::string> differences = scenario::differences(final, update.newTree);
      std::vector<std::string> strays = scenario::strays(final, update);
      const scenario::Step& failed = update.steps[failing];
      if (differences.empty()) {
        recovered++;
      } else if (!strays.empty() && strays.size() == differences.size()) {
        // A write whose rename failed kept its new content in its temporary file; running again
        // writes the file in place and leaves that copy, which may as well be the program's own.
        EXPECT_EQ(code, kApplyWriteFileFailed);
        EXPECT_EQ(failed.kind, StepKind::WriteFile);
        EXPECT_EQ(strays, std::vector<std::string>{scenario::temporaryName(scenario::hostName(failed.name))});
        leftovers++;
      } else if (state.status == kStatusNewestInstalled || state.status == kStatusApplied) {
        // A delete, rename or folder record whose failure the first run ignored stays undone:
        // the update had finished, so there is nothing left to run.
        EXPECT_EQ(code, kApplied);
        ignoredRecordLeft++;
      } else {
        // Only a run that stopped among the identification files' records (some already new,
        // or one missing while its replacement waits in its temporary file) leaves a mixture that
        // no version matches.
        EXPECT_EQ(state.status, kStatusDamaged);
        EXPECT_TRUE(failed.identifies) << failed.name;
        damagedButSafe++;
      }
    }
  }
  std::printf("faults: %d runs: %d finished (at once or by running again), %d finished with a write's copy left "
              "in its temporary file, %d finished with an ignored record undone, %d damaged with every file kept\n",
              runs, recovered, leftovers, ignoredRecordLeft, damagedButSafe);
}

}  // namespace
