// The project file through toml++, with positions for every error.
#include "patchbuild/project_file.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <toml++/toml.h>

#include "patchbuild/codepage.h"
#include "patchbuild/exe_table.h"
#include "patchbuild/host/host.h"

namespace fs = std::filesystem;

namespace patchbuild {

namespace {

class ProjectReader {
 public:
  ProjectReader(const fs::path& file, Project& project) : file_(file), project_(project) {}

  bool read(std::string& error) {
    toml::table root;
    try {
      root = toml::parse_file(file_.string());
    } catch (const toml::parse_error& failure) {
      const auto& at = failure.source().begin;
      error = fmt::format("{}:{}:{}: {}", file_.string(), at.line, at.column, failure.description());
      return false;
    }
    if (!readRoot(root)) {
      error = error_;
      return false;
    }
    return true;
  }

 private:
  bool fail(const toml::node* node, const std::string& what) {
    return fail(node ? node->source() : toml::source_region{}, what);
  }

  bool fail(const toml::source_region& where, const std::string& what) {
    if (where.begin.line > 0)
      error_ = fmt::format("{}:{}:{}: {}", file_.string(), where.begin.line, where.begin.column, what);
    else
      error_ = fmt::format("{}: {}", file_.string(), what);
    return false;
  }

  // Every key of `table` must be one of `known`: a misspelt option is an error, not a default.
  bool onlyKnownKeys(const toml::table& table, std::initializer_list<std::string_view> known,
                     const std::string& where) {
    for (const auto& [key, node] : table) {
      if (std::find(known.begin(), known.end(), key.str()) == known.end())
        return fail(key.source(), fmt::format("unknown key \"{}\"{}", key.str(), where));
    }
    return true;
  }

  bool readString(const toml::node* node, const std::string& what, std::string& out) {
    const auto* value = node ? node->as_string() : nullptr;
    if (!value) return fail(node, fmt::format("{} must be a string", what));
    out = value->get();
    return true;
  }

  bool checkConvertible(const toml::node* node, const std::string& what, const std::string& text) {
    std::string converted, why;
    if (!toCodePage(text, project_.codePage, converted, why))
      return fail(node, fmt::format("{} {}", what, why));
    return true;
  }

  bool readRoot(const toml::table& root) {
    if (!onlyKnownKeys(root, {"registry", "codepage", "messages", "versions", "identify", "options", "exe"},
                       " (expected registry, codepage, messages, versions, identify, options, exe)"))
      return false;
    if (const toml::node* node = root.get("codepage")) {
      const auto* value = node->as_integer();
      if (!value) return fail(node, "codepage must be a number, such as 1252");
      int64_t codePage = value->get();
      if (!isKnownCodePage(static_cast<int>(codePage)) || codePage > 65535)
        return fail(node, fmt::format("code page {} is not known", codePage));
      project_.codePage = static_cast<int>(codePage);
    }
    const toml::node* registry = root.get("registry");
    if (!registry) return fail(nullptr, "the key \"registry\" is missing (the registry value that holds the install folder)");
    if (!readString(registry, "registry", project_.registryPath)) return false;
    if (!checkConvertible(registry, "the registry path", project_.registryPath)) return false;
    if (!project_.registryPath.empty() && !normaliseRegistryRoot(registry)) return false;
    std::string converted, why;
    toCodePage(project_.registryPath, project_.codePage, converted, why);
    if (converted.size() > 2047) return fail(registry, "the registry path is longer than 2047 bytes");
    if (converted.empty())
      project_.warnings.push_back("the registry path is empty: users will always have to browse for the folder");
    return readMessages(root.get("messages")) && readVersions(root.get("versions")) &&
           readIdentify(root.get("identify")) && readOptions(root.get("options")) && readExe(root.get("exe"));
  }

  bool readExe(const toml::node* node) { return !node || readExeTable(*node, file_, project_.exe, error_); }

  // The updater knows the five root keys by their full names only: a short form is written out
  // in full, anything else could never be found.
  bool normaliseRegistryRoot(const toml::node* node) {
    static const std::pair<const char*, const char*> kRoots[] = {
        {"HKLM", "HKEY_LOCAL_MACHINE"}, {"HKCU", "HKEY_CURRENT_USER"}, {"HKCR", "HKEY_CLASSES_ROOT"},
        {"HKCC", "HKEY_CURRENT_CONFIG"}, {"HKU", "HKEY_USERS"}};
    std::string& path = project_.registryPath;
    size_t first = path.find('\\');
    if (first == std::string::npos || path.find('\\', first + 1) == std::string::npos)
      return fail(node, "the registry path must be a root key, a key and a value name, such as "
                        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\Path (a path ending in \\ reads "
                        "the key's default value)");
    auto same = [](const std::string& a, const char* b) {
      return a.size() == std::strlen(b) &&
             std::equal(a.begin(), a.end(), b, [](char x, char y) { return std::toupper(static_cast<unsigned char>(x)) == y; });
    };
    std::string root = path.substr(0, first);
    for (const auto& [shortName, fullName] : kRoots) {
      if (same(root, fullName)) return true;
      if (same(root, shortName)) {
        path = fullName + path.substr(first);
        return true;
      }
    }
    return fail(node, fmt::format("the registry root \"{}\" is not one the updater knows: use HKEY_LOCAL_MACHINE, "
                                  "HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG or HKEY_USERS "
                                  "(or HKLM, HKCU, HKCR, HKCC, HKU)", root));
  }

  bool readMessages(const toml::node* node) {
    if (!node) {
      project_.warnings.push_back("there is no [messages] table: every text will show as \"??????\"");
      return true;
    }
    const auto* table = node->as_table();
    if (!table) return fail(node, "messages must be a table of keys and texts");
    // The table keeps its keys sorted; the payload keeps them in the order they were written.
    std::vector<std::pair<const toml::key*, const toml::node*>> entries;
    for (const auto& [key, value] : *table) entries.emplace_back(&key, &value);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
      return a.first->source().begin < b.first->source().begin;
    });
    for (const auto& [key, value] : entries) {
      std::string text;
      std::string name(key->str());
      if (!readString(value, fmt::format("the message {}", name), text)) return false;
      if (!checkConvertible(value, fmt::format("the key {}", name), name)) return false;
      if (!checkConvertible(value, fmt::format("the text of {}", name), text)) return false;
      for (const auto& [earlier, unused] : project_.messages) {
        if (std::equal(earlier.begin(), earlier.end(), name.begin(), name.end(),
                       [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) ==
                                                   std::tolower(static_cast<unsigned char>(b)); }))
          return fail(value, fmt::format("the message keys {} and {} differ only in case; the updater "
                                         "treats them as one key", earlier, name));
      }
      if (name.size() < 2 || (name[0] != 'T' && name[0] != 't') || name[1] != '_')
        project_.warnings.push_back(fmt::format("message key {} does not start with T_; the updater "
                                                "never looks it up", name));
      project_.messages.emplace_back(name, text);
    }
    return true;
  }

  bool readVersions(const toml::node* node) {
    if (!node) return fail(nullptr, "there is no [[versions]] entry: list the version folders, oldest first");
    const auto* array = node->as_array();
    if (!array || array->empty())
      return fail(node, "versions must be a list of [[versions]] tables, oldest first");
    if (array->size() > 32767) return fail(node, "more than 32767 versions");
    for (const toml::node& entry : *array) {
      const auto* table = entry.as_table();
      if (!table) return fail(&entry, "each [[versions]] entry must be a table with a folder");
      if (!onlyKnownKeys(*table, {"folder", "name"}, " in [[versions]] (expected folder, name)"))
        return false;
      ProjectVersion version;
      const toml::node* folder = table->get("folder");
      if (!folder) return fail(&entry, "a [[versions]] entry has no folder");
      if (!readString(folder, "folder", version.folder)) return false;
      if (version.folder.empty())
        return fail(folder, "folder is empty: name the version's folder, relative to the project file");
      if (const toml::node* name = table->get("name")) {
        if (!readString(name, "name", version.name)) return false;
      } else {
        version.name = version.folder;
      }
      version.path = file_.parent_path() / host::pathFromUtf8(version.folder);
      std::error_code code;
      if (!fs::is_directory(version.path, code))
        return fail(folder, fmt::format("the version folder \"{}\" does not exist (looked for {})",
                                        version.folder, version.path.string()));
      project_.versions.push_back(std::move(version));
      folderNodes_.push_back(folder);
    }
    return checkFoldersApart();
  }

  // A version folder that holds the project file or another version would ship them to users
  // (and the next build would see its own output); the same folder twice is a slip as well.
  bool checkFoldersApart() {
    std::error_code code;
    fs::path projectFile = fs::weakly_canonical(fs::absolute(file_), code);
    std::vector<fs::path> folders;
    for (const ProjectVersion& version : project_.versions)
      folders.push_back(fs::weakly_canonical(fs::absolute(version.path), code));
    for (size_t i = 0; i < folders.size(); i++) {
      const std::string& name = project_.versions[i].folder;
      if (isInside(projectFile, folders[i]))
        return fail(folderNodes_[i], fmt::format("the version folder \"{}\" holds the project file: keep the "
                                                 "project file beside the version folders", name));
      for (size_t j = 0; j < folders.size(); j++) {
        if (i == j) continue;
        if (folders[i] == folders[j])
          return fail(folderNodes_[j], fmt::format("the version folder \"{}\" is listed twice (as \"{}\" too)",
                                                   project_.versions[j].folder, name));
        if (isInside(folders[j], folders[i]))
          return fail(folderNodes_[i], fmt::format("the version folder \"{}\" holds the version folder \"{}\": "
                                                   "keep the version folders side by side", name,
                                                   project_.versions[j].folder));
      }
    }
    return true;
  }

  bool readIdentify(const toml::node* node) {
    if (!node) return true;
    const auto* table = node->as_table();
    if (!table) return fail(node, "identify must be a table");
    if (!onlyKnownKeys(*table, {"auto", "files"}, " in [identify] (expected auto, files)")) return false;
    const toml::node* automatic = table->get("auto");
    const toml::node* files = table->get("files");
    if (automatic) {
      const auto* value = automatic->as_boolean();
      if (!value) return fail(automatic, "auto must be true or false");
      project_.autoIdentify = value->get();
    }
    if (files) {
      if (automatic && project_.autoIdentify)
        return fail(files, "give either auto = true or a list of files, not both");
      const auto* array = files->as_array();
      if (!array || array->empty()) return fail(files, "files must be a list of file names");
      for (const toml::node& entry : *array) {
        std::string name;
        if (!readString(&entry, "each identification file", name)) return false;
        project_.identFiles.push_back(name);
      }
      project_.autoIdentify = false;
    } else if (automatic && !project_.autoIdentify) {
      return fail(automatic, "auto = false needs a list of files");
    }
    return true;
  }

  bool readOptions(const toml::node* node) {
    if (!node) return true;
    const auto* table = node->as_table();
    if (!table) return fail(node, "options must be a table");
    if (!onlyKnownKeys(*table, {"deltas", "compression", "zopfli_iterations"},
                       " in [options] (expected deltas, compression, zopfli_iterations)"))
      return false;
    if (const toml::node* deltas = table->get("deltas")) {
      std::string mode;
      if (!readString(deltas, "deltas", mode)) return false;
      if (mode == "chained")
        project_.deltas = DeltaMode::Chained;
      else if (mode == "exact")
        project_.deltas = DeltaMode::Exact;
      else
        return fail(deltas, fmt::format("deltas must be \"chained\" or \"exact\", not \"{}\"", mode));
    }
    if (const toml::node* compression = table->get("compression")) {
      if (const auto* level = compression->as_integer()) {
        if (level->get() < 0 || level->get() > 9)
          return fail(compression, "a zlib compression level runs from 0 to 9");
        project_.compression.kind = Compression::Zlib;
        project_.compression.level = static_cast<int>(level->get());
      } else if (const auto* kind = compression->as_string()) {
        if (kind->get() == "auto")
          project_.compression.kind = Compression::Auto;
        else if (kind->get() == "zopfli")
          project_.compression.kind = Compression::Zopfli;
        else
          return fail(compression, fmt::format("compression must be \"auto\", \"zopfli\" or a zlib level 0 to 9, not \"{}\"", kind->get()));
      } else {
        return fail(compression, "compression must be \"auto\", \"zopfli\" or a zlib level 0 to 9");
      }
    }
    if (const toml::node* iterations = table->get("zopfli_iterations")) {
      const auto* value = iterations->as_integer();
      if (!value || value->get() < 1 || value->get() > 1000)
        return fail(iterations, "zopfli_iterations must be a number from 1 to 1000");
      project_.compression.iterations = static_cast<int>(value->get());
    }
    return true;
  }

  fs::path file_;
  Project& project_;
  std::string error_;
  std::vector<const toml::node*> folderNodes_;
};

}  // namespace

bool isInside(const fs::path& path, const fs::path& folder) {
  auto inner = path.begin(), outer = folder.begin();
  for (; outer != folder.end(); ++outer, ++inner) {
    if (outer->empty() && std::next(outer) == folder.end()) break;  // a trailing separator
    if (inner == path.end() || *inner != *outer) return false;
  }
  return inner != path.end();
}

bool checkOutputPath(const Project& project, const fs::path& output, std::string& error) {
  std::error_code code;
  fs::path target = fs::weakly_canonical(fs::absolute(output), code);
  if (target == fs::weakly_canonical(fs::absolute(project.file), code)) {
    error = fmt::format("{}: the output would replace the project file; name another file with -o", output.string());
    return false;
  }
  for (const ProjectVersion& version : project.versions) {
    fs::path folder = fs::weakly_canonical(fs::absolute(version.path), code);
    if (target == folder || isInside(target, folder)) {
      error = fmt::format("{}: the output would land in the version folder \"{}\", so the next build would "
                          "ship the patch to users; write it outside the version folders", output.string(),
                          version.folder);
      return false;
    }
  }
  return true;
}

bool loadProject(const fs::path& file, Project& project, std::string& error) {
  project = Project{};
  project.file = file;
  std::error_code code;
  if (!fs::is_regular_file(file, code)) {
    error = fmt::format("{}: the project file cannot be read (it does not exist or is not a file)",
                        file.string());
    return false;
  }
  return ProjectReader(file, project).read(error);
}

}  // namespace patchbuild
