// Random version sets: whatever files and folders come and go, move, change kind or change in
// place, the container brings every older version to the newest, and a cut-off update finishes
// on a second run.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>
#include <set>

#include "patchbuild/container_info.h"
#include "state/patch_state.h"
#include "support/engine_update.h"
#include "support/patch_project.h"
#include "support/reference_updater.h"

namespace {

class RandomVersionsTest : public StandinTest {};

// One version as a map of relative names to contents, evolved from the previous one.
using Tree = std::map<std::string, FileBytes>;

Tree evolve(const Tree& previous, std::mt19937& random, int version) {
  static const char* kNames[] = {"a.txt", "b.dat", "data/c.pak", "data/d.tmp", "data/c.tmp", "x", "y/z.bin",
                                 "y/w/v.txt", "lib/e.dll", "lib/f.dll", "moved.bin", "old/moved.bin", "ab"};
  Tree tree = previous;
  if (version == 0)  // the first version has every file, so that later ones can move and drop them
    for (const char* name : kNames) tree[name] = randomBytes(100 + random() % 3000, static_cast<uint32_t>(random()));
  std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(kNames)) - 1);
  int changes = 2 + static_cast<int>(random() % 5);
  for (int k = 0; k < changes; k++) {
    std::string name = kNames[pick(random)];
    switch (random() % 5) {
      case 0: tree.erase(name); break;
      case 1: tree[name] = randomBytes(100 + random() % 3000, static_cast<uint32_t>(random())); break;
      case 2:
        if (tree.count(name)) tree[name] = spliced(tree[name], tree[name].size() / 2, "edit" + std::to_string(version));
        break;
      case 3: {  // move
        std::string to = kNames[pick(random)];
        if (tree.count(name) && !tree.count(to)) {
          tree[to] = tree[name];
          tree.erase(name);
        }
        break;
      }
      default: {  // a folder goes with everything in it
        static const char* kFolders[] = {"data/", "y/", "y/w/", "lib/", "old/"};
        std::string folder = kFolders[random() % std::size(kFolders)];
        for (auto it = tree.begin(); it != tree.end();) it = it->first.rfind(folder, 0) == 0 ? tree.erase(it) : std::next(it);
        break;
      }
    }
  }
  // A name cannot be a file and a folder at once: drop files that a folder now needs.
  for (auto it = tree.begin(); it != tree.end();) {
    bool isFolder = false;
    for (const auto& [other, bytes] : tree) isFolder = isFolder || other.rfind(it->first + "/", 0) == 0;
    it = isFolder ? tree.erase(it) : std::next(it);
  }
  tree["main.exe"] = bytesOf("main program, version " + std::to_string(version));
  return tree;
}

TEST_F(RandomVersionsTest, EveryVersionReachesTheNewestAndCutOffRunsFinish) {
  std::set<uint8_t> kinds;  // record types the seeds produced
  for (uint32_t seed = 1; seed <= 6; seed++) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    int versions = 2 + static_cast<int>(seed % 3);
    std::vector<Tree> trees;
    for (int v = 0; v < versions; v++) trees.push_back(evolve(v ? trees.back() : Tree{}, random, v));
    PatchProject project(versions);
    for (int v = 0; v < versions; v++)
      for (const auto& [name, bytes] : trees[v]) project.file(v, name, bytes);
    if (seed % 2) project.extra("[options]\ndeltas = \"exact\"");
    std::string error;
    patchbuild::BuildSummary summary;
    ASSERT_TRUE(project.build(error, &summary)) << error;
    // main.exe, in every version and changed by each, identifies them: nothing here is beyond
    // what the builder promises, so a warning is a fault, and an update cut off anywhere finishes.
    EXPECT_TRUE(summary.warnings.empty()) << summary.warnings.front();
    auto newest = PatchProject::contents(project.versionFolder(versions - 1));
    // Folders that only older versions had may stay when they are not empty in the model; the
    // newest version's files and folders must all be there, byte for byte.
    for (int v = 0; v + 1 < versions; v++) {
      std::string folder = project.install(v);
      ReferenceRun run = referenceUpdate(project.container(), folder);
      ASSERT_EQ(run.identified, v);
      ASSERT_EQ(run.code, 0);
      EXPECT_EQ(run.reported, run.total);
      EXPECT_EQ(PatchProject::contents(folder), newest) << "from version " << v;

      // The updater's own engines agree: same version, success, the bar exactly at its end.
      std::string again = project.install(v);
      EngineRun engine = engineUpdate(project.container(), again);
      ASSERT_TRUE(engine.loaded);
      ASSERT_EQ(engine.identified, v);
      ASSERT_EQ(engine.code, 0);
      EXPECT_EQ(engine.reported, engine.total);
      EXPECT_EQ(PatchProject::contents(again), newest) << "engine, from version " << v;
    }
    std::string newestInstall = project.install(versions - 1);
    EXPECT_EQ(engineUpdate(project.container(), newestInstall).status, kStatusNewestInstalled);
    std::string path = project.root().at("c.pat");
    size_t records = 0;
    {
      std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(project.container().data()),
                                                  static_cast<std::streamsize>(project.container().size()));
      patchbuild::ContainerInfo info;
      ASSERT_TRUE(patchbuild::readContainer(path, info, error)) << error;
      records = info.ops.size();
      for (const auto& op : info.ops) kinds.insert(op.type);
    }
    for (size_t cut = 0; cut <= records; cut++) {
      std::string folder = project.install(0);
      referenceUpdate(project.container(), folder, cut);
      ReferenceRun again = referenceUpdate(project.container(), folder);
      ASSERT_GE(again.identified, 0) << "cut after " << cut;
      ASSERT_EQ(again.code, 0) << "cut after " << cut;
      EXPECT_EQ(PatchProject::contents(folder), newest) << "cut after " << cut;
    }
  }
  // The seeds exercise what the test is named for: content that changes, comes, goes and moves,
  // and folders that come and go.
  for (uint8_t type : {1, 2, 3, 4, 5, 6, 7}) EXPECT_TRUE(kinds.count(type)) << "no seed made a record of type " << int{type};
}

}  // namespace
