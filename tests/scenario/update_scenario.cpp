#include "update_scenario.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "patchdata/checksum.h"
#include "writer/fixture_bytes.h"
#include "writer/payload_writer.h"

namespace scenario {
namespace {

namespace fs = std::filesystem;
using patchwriter::DeltaCommands;
using patchwriter::randomBytes;

Bytes text(const std::string& s) { return patchwriter::textBytes(s); }

uint32_t checksumOf(const Bytes& bytes) { return checksumUpdate(kChecksumStart, bytes.data(), bytes.size()); }

// A new file made the way a delta tool makes one: long copies (several 128 KiB blocks, one of
// them from further back in the old file), short literals between them, empty commands.
DeltaCommands typicalCommands(size_t oldSize, uint32_t seed) {
  uint32_t quarter = static_cast<uint32_t>(oldSize / 4);
  DeltaCommands commands;
  commands.copy(2 * quarter, quarter)
      .literal(randomBytes(1000, seed))
      .copy(100, 0)
      .copy(0, 5)
      .literal(Bytes{})
      .copy(quarter, 0)
      .literal(randomBytes(300, seed + 1))
      .copy(quarter - 50, 3 * quarter + 50);
  return commands;
}

class Builder {
 public:
  explicit Builder(Update& update) : update_(update) {}

  void oldFile(const std::string& name, const Bytes& content) { update_.oldTree[hostName(name)] = content; }
  void folder(const std::string& name, bool inOld, bool inNew) {
    if (inOld) update_.oldTree[hostName(name)] = std::nullopt;
    if (inNew) update_.newTree[hostName(name)] = std::nullopt;
  }
  void unchanged(const std::string& name, const Bytes& content) {
    oldFile(name, content);
    update_.newTree[hostName(name)] = content;
  }

  void makeFolder(const std::string& name) {
    folder(name, false, true);
    writer_.makeFolder(name);
    update_.steps.push_back({StepKind::MakeFolder, name, "", {}, {}, false});
  }
  void removeFolder(const std::string& name) {
    folder(name, true, false);
    writer_.removeFolder(name);
    update_.steps.push_back({StepKind::RemoveFolder, name, "", {}, {}, true});
  }
  void delta(const std::string& name, const Bytes& oldContent, uint32_t seed, bool identifies) {
    DeltaCommands commands = typicalCommands(oldContent.size(), seed);
    patchwriter::DeltaRecord record =
        patchwriter::makeDelta(patchwriter::kChainedDelta, 0, name, oldContent, commands);
    Bytes newContent = commands.apply(oldContent);
    oldFile(name, oldContent);
    update_.newTree[hostName(name)] = newContent;
    writer_.delta(record);
    work_ += patchwriter::deltaWork(record);
    update_.steps.push_back({StepKind::Delta, name, "", oldContent, newContent, true, identifies});
    if (identifies) ident_.push_back({name, {checksumOf(oldContent), checksumOf(newContent)}});
  }
  void writeFile(const std::string& name, const std::optional<Bytes>& previous, const Bytes& content) {
    if (previous) oldFile(name, *previous);
    update_.newTree[hostName(name)] = content;
    writer_.writeFile(name, content);
    work_ += content.size();
    update_.steps.push_back({StepKind::WriteFile, name, "", previous.value_or(Bytes{}), content, previous.has_value()});
  }
  void deleteFile(const std::string& name, const Bytes& content) {
    oldFile(name, content);
    writer_.deleteFile(name);
    update_.steps.push_back({StepKind::DeleteFile, name, "", content, {}, true});
  }
  void rename(const std::string& from, const std::string& to, const Bytes& content) {
    oldFile(from, content);
    update_.newTree[hostName(to)] = content;
    writer_.rename(from, to);
    update_.steps.push_back({StepKind::Rename, from, to, content, content, true});
  }
  void identifyBy(const std::string& name, const Bytes& content) {
    ident_.push_back({name, {checksumOf(content), checksumOf(content)}});
  }

  void finish(bool oldVersionByLastFile) {
    if (oldVersionByLastFile) {
      // Every changing identification file but the last one updated stops telling version 0.
      for (size_t i = 0; i + 1 < ident_.size(); i++) {
        std::vector<uint32_t>& checksums = ident_[i].second;
        if (checksums[0] != checksums[1]) checksums[0] = 0;
      }
    }
    writer_.registryPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\Path")
        .message("T_IDENT0", "Example 1.0 is installed.")
        .message("T_IDENT1", "Example 1.1 is installed.")
        .message("T_UPDATEREADY", "Press \"Update\" to upgrade.")
        .versionCount(2)
        .workTotals({static_cast<uint32_t>(work_)});
    for (const auto& [name, checksums] : ident_) writer_.identFile(name, checksums);
    update_.payload = writer_.build();
  }

 private:
  Update& update_;
  patchwriter::PayloadWriter writer_;
  uint64_t work_ = 0;
  std::vector<std::pair<std::string, std::vector<uint32_t>>> ident_;
};

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const Bytes* fileIn(const Tree& tree, const std::string& name) {
  auto entry = tree.find(name);
  return entry != tree.end() && entry->second ? &*entry->second : nullptr;
}

}  // namespace

Update makeUpdate(int scale, bool oldVersionByLastFile) {
  size_t unit = 100000 * static_cast<size_t>(scale);
  Update update;
  Builder build(update);
  build.folder("data", true, true);
  Bytes unchanged = randomBytes(unit / 2, 10);
  build.unchanged("unchanged.dat", unchanged);
  build.identifyBy("unchanged.dat", unchanged);
  build.oldFile("data\\main.tmp", text("stale temporary file of an earlier run"));
  update.readOnly = {"lib.dll", "data/main.tmp"};

  build.makeFolder("data\\new");
  build.delta("lib.dll", randomBytes(2 * unit, 20), 21, false);
  build.writeFile("config.ini", text("[old]\nsetting=1\n"), text("[new]\nsetting=2\nother=3\n"));
  build.writeFile("data\\new\\notes.txt", std::nullopt, randomBytes(3 * unit, 30));
  build.deleteFile("old.dll", text("obsolete library"));
  build.rename("readme.txt", "readme.htm", text("read me"));
  build.removeFolder("data\\gone");
  build.delta("data\\main.pak", randomBytes(3 * unit, 40), 41, true);
  build.delta("app.exe", randomBytes(4 * unit, 50), 51, true);
  build.finish(oldVersionByLastFile);
  return update;
}

std::string hostName(const std::string& payloadName) {
  std::string name = payloadName;
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}

std::string temporaryName(const std::string& host) {
  std::string name = host;
  if (name.size() >= 3) name.replace(name.size() - 3, 3, "tmp");
  return name;
}

void writeTree(const std::string& folder, const Tree& tree, const std::vector<std::string>& readOnly) {
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  fs::create_directories(folder);
  for (const auto& [name, content] : tree) {
    fs::path path = fs::path(folder) / name;
    if (!content) {
      fs::create_directories(path);
      continue;
    }
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(content->data()), static_cast<std::streamsize>(content->size()));
  }
  for (const std::string& name : readOnly) chmod((fs::path(folder) / name).c_str(), 0444);
}

Tree readTree(const std::string& folder) {
  Tree tree;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::string name = fs::relative(entry.path(), folder).string();
    if (entry.is_directory())
      tree[name] = std::nullopt;
    else
      tree[name] = readFile(entry.path());
  }
  return tree;
}

std::vector<std::string> differences(const Tree& actual, const Tree& expected) {
  std::vector<std::string> lines;
  for (const auto& [name, content] : expected) {
    auto found = actual.find(name);
    if (found == actual.end())
      lines.push_back(name + ": missing");
    else if (found->second.has_value() != content.has_value())
      lines.push_back(name + ": a file where a folder should be, or the reverse");
    else if (content && *found->second != *content)
      lines.push_back(name + ": content differs");
  }
  for (const auto& [name, content] : actual)
    if (!expected.count(name)) lines.push_back(name + ": not expected");
  return lines;
}

// Whether `name` is the temporary path of another file of either version.
static bool isTemporaryFile(const std::string& name, const Update& update) {
  for (const Tree* tree : {&update.oldTree, &update.newTree})
    for (const auto& [other, content] : *tree)
      if (content && other != name && temporaryName(other) == name) return true;
  return false;
}

std::vector<std::string> lossesIn(const Tree& actual, const Update& update) {
  std::vector<std::string> losses;
  auto check = [&](const std::string& name) {
    if (isTemporaryFile(name, update)) return;
    const Bytes* oldContent = fileIn(update.oldTree, name);
    const Bytes* newContent = fileIn(update.newTree, name);
    if (!oldContent && !newContent) return;  // a folder
    if (const Bytes* present = fileIn(actual, name)) {
      if ((!oldContent || *present != *oldContent) && (!newContent || *present != *newContent))
        losses.push_back(name + ": holds neither its old nor its new content");
      return;
    }
    if (!oldContent || !newContent) return;  // new, not yet written; or deleted or renamed away
    const Bytes* replacement = fileIn(actual, temporaryName(name));
    if (!replacement || *replacement != *newContent)
      losses.push_back(name + ": missing, and no verified replacement in " + temporaryName(name));
  };
  for (const auto& [name, content] : update.oldTree) check(name);
  for (const auto& [name, content] : update.newTree)
    if (!update.oldTree.count(name)) check(name);
  for (const Step& step : update.steps) {
    if (step.kind != StepKind::Rename) continue;
    if (!fileIn(actual, hostName(step.name)) && !fileIn(actual, hostName(step.newName)))
      losses.push_back(hostName(step.name) + ": renamed away, and missing under its new name");
  }
  return losses;
}

std::vector<std::string> halfWritten(const Tree& actual, const Update& update) {
  std::vector<std::string> lines;
  for (const Step& step : update.steps) {
    if (step.kind != StepKind::WriteFile) continue;
    std::string name = hostName(step.name);
    if (const Bytes* present = fileIn(actual, name)) {
      bool old = step.existedBefore && *present == step.before;
      if (!old && *present != step.after) lines.push_back(name + ": holds part of its new content");
    } else if (step.existedBefore) {
      const Bytes* replacement = fileIn(actual, temporaryName(name));
      if (!replacement || *replacement != step.after)
        lines.push_back(name + ": missing, and its new content is not whole in " + temporaryName(name));
    }
  }
  return lines;
}

std::vector<std::string> strays(const Tree& actual, const Update& update) {
  std::vector<std::string> names;
  for (const auto& [name, content] : actual)
    if (content && !update.newTree.count(name) && (!update.oldTree.count(name) || isTemporaryFile(name, update)))
      names.push_back(name);
  return names;
}

}  // namespace scenario
