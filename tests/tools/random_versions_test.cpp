// Random version sets: whatever files and folders come and go, move, change kind or change in
// place, the container brings every older version to the newest, and a cut-off update finishes
// on a second run.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>

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
      default: break;
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
  int built = 0;
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
    built++;
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
    if (!summary.warnings.empty()) {
      std::printf("seed %u: %s\n", seed, summary.warnings.front().c_str());
      continue;  // the builder said what a cut-off run cannot promise
    }
    std::string path = project.root().at("c.pat");
    size_t records = 0;
    {
      std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(project.container().data()),
                                                  static_cast<std::streamsize>(project.container().size()));
      patchbuild::ContainerInfo info;
      ASSERT_TRUE(patchbuild::readContainer(path, info, error)) << error;
      records = info.ops.size();
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
  EXPECT_EQ(built, 6);
}

}  // namespace
