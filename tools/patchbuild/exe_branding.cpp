// The [exe] table, and the icon and version resources it sets in the update executable.
#include "patchbuild/exe_branding.h"

#include <fmt/format.h>

#include <algorithm>
#include <set>

#include "patchbuild/exe_table.h"
#include "patchbuild/folder_scan.h"
#include "patchbuild/host/host.h"

namespace fs = std::filesystem;

namespace patchbuild {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kUpdaterIcon = 101;        // the icon the updater's dialog loads
constexpr uint16_t kVersionResource = 1;      // VS_VERSION_INFO
constexpr uint16_t kUsEnglish = 0x0409;       // the language of a version resource made here
constexpr size_t kLongestText = 1024;         // characters; a version block holds at most 64 KiB

const char* const kKeys[] = {"icon", "product_name", "product_version", "company", "description", "copyright"};

std::string placed(const fs::path& file, const toml::source_region& where, const std::string& what) {
  if (where.begin.line == 0) return fmt::format("{}: {}", file.string(), what);
  return fmt::format("{}:{}:{}: {}", file.string(), where.begin.line, where.begin.column, what);
}

bool readText(const toml::node& node, const std::string& key, const fs::path& file, std::optional<std::string>& out,
              std::string& error) {
  const auto* value = node.as_string();
  if (!value) {
    error = placed(file, node.source(), fmt::format("{} in [exe] must be a string", key));
    return false;
  }
  const std::string& text = value->get();
  if (text.find('\0') != std::string::npos || utf16Of(text).size() > kLongestText) {
    error = placed(file, node.source(),
                   fmt::format("{} in [exe] must be text of at most {} characters", key, kLongestText));
    return false;
  }
  out = text;
  return true;
}

bool readIcon(const toml::node& node, const fs::path& file, ExeBranding& branding, std::string& error) {
  std::optional<std::string> name;
  if (!readText(node, "icon", file, name, error)) return false;
  branding.iconPath = file.parent_path() / host::pathFromUtf8(*name);
  Bytes bytes;
  std::error_code code;
  if (!fs::is_regular_file(branding.iconPath, code) || !readWholeFile(branding.iconPath, bytes)) {
    error = placed(file, node.source(), fmt::format("the icon file \"{}\" cannot be read (looked for {})", *name,
                                                    host::utf8FromPath(branding.iconPath)));
    return false;
  }
  std::string why;
  if (!parseIconFile(bytes, branding.icon, why)) {
    error = placed(file, node.source(), fmt::format("\"{}\" is not an icon file: {}", *name, why));
    return false;
  }
  return true;
}

// The group whose images are replaced: the one the dialog loads, else the first, which is the
// one Explorer shows.
ResourceKey groupToBrand(ResourceTree& tree) {
  auto& groups = tree[ResourceKey::ofId(kRtGroupIcon)];
  if (groups.empty() || groups.count(ResourceKey::ofId(kUpdaterIcon))) return ResourceKey::ofId(kUpdaterIcon);
  return groups.begin()->first;
}

void brandIcon(const std::vector<IconImage>& images, ResourceTree& tree) {
  ResourceKey groupKey = groupToBrand(tree);
  auto& group = tree[ResourceKey::ofId(kRtGroupIcon)][groupKey];
  auto& icons = tree[ResourceKey::ofId(kRtIcon)];
  // The images keep the group's old ids as far as they go; more get ids no resource uses yet.
  std::vector<uint16_t> oldIds;
  std::set<ResourceKey> languages;
  for (const auto& [language, leaf] : group) {
    languages.insert(language);
    for (uint16_t id : iconGroupIds(leaf.data))
      if (std::find(oldIds.begin(), oldIds.end(), id) == oldIds.end()) oldIds.push_back(id);
  }
  if (languages.empty()) languages.insert(ResourceKey::ofId(0));
  std::vector<uint16_t> ids(oldIds.begin(), oldIds.begin() + static_cast<std::ptrdiff_t>(std::min(oldIds.size(), images.size())));
  uint16_t next = 1;
  for (const auto& [name, unused] : icons)
    if (!name.isName) next = std::max<uint16_t>(next, static_cast<uint16_t>(name.id + 1));
  for (uint16_t id : oldIds) next = std::max<uint16_t>(next, static_cast<uint16_t>(id + 1));
  while (ids.size() < images.size()) ids.push_back(next++);

  Bytes groupData = iconGroup(images, ids);
  for (const ResourceKey& language : languages) group[language].data = groupData;
  for (size_t i = 0; i < images.size(); i++) {
    auto& languagesOfImage = icons[ResourceKey::ofId(ids[i])];
    languagesOfImage.clear();
    for (const ResourceKey& language : languages) languagesOfImage[language] = ResourceLeaf{images[i].data, 0};
  }
  // The group's old images that no group names any more would only be dead weight.
  std::set<uint16_t> referenced;
  for (const auto& [name, groupLanguages] : tree[ResourceKey::ofId(kRtGroupIcon)])
    for (const auto& [language, leaf] : groupLanguages)
      for (uint16_t id : iconGroupIds(leaf.data)) referenced.insert(id);
  for (uint16_t id : oldIds)
    if (!referenced.count(id)) icons.erase(ResourceKey::ofId(id));
}

void brandVersion(const ExeBranding& branding, VersionInfo& info) {
  auto set = [&](const char16_t* key, const std::optional<std::string>& value) {
    if (value) info.set(key, utf16Of(*value));
  };
  set(u"CompanyName", branding.company);
  set(u"FileDescription", branding.description);
  set(u"ProductName", branding.productName);
  set(u"LegalCopyright", branding.copyright);
  if (branding.productVersion) {
    set(u"ProductVersion", branding.productVersion);
    set(u"FileVersion", branding.productVersion);
    info.setFileVersion(branding.versionNumbers);
    info.setProductVersion(branding.versionNumbers);
  }
}

bool hasVersionKeys(const ExeBranding& b) {
  return b.productName || b.productVersion || b.company || b.description || b.copyright;
}

}  // namespace

bool readExeTable(const toml::node& node, const fs::path& file, ExeBranding& branding, std::string& error) {
  branding = ExeBranding{};
  const auto* table = node.as_table();
  if (!table) {
    error = placed(file, node.source(), "exe must be a table");
    return false;
  }
  branding.present = true;
  for (const auto& [key, value] : *table) {
    std::string_view name = key.str();
    if (std::find(std::begin(kKeys), std::end(kKeys), name) == std::end(kKeys)) {
      error = placed(file, key.source(),
                     fmt::format("unknown key \"{}\" in [exe] (expected icon, product_name, product_version, "
                                 "company, description, copyright)", name));
      return false;
    }
  }
  auto text = [&](const char* key, std::optional<std::string>& out) {
    const toml::node* value = table->get(key);
    return !value || readText(*value, key, file, out, error);
  };
  if (!text("product_name", branding.productName) || !text("product_version", branding.productVersion) ||
      !text("company", branding.company) || !text("description", branding.description) ||
      !text("copyright", branding.copyright))
    return false;
  if (branding.productVersion && !parseVersionNumbers(*branding.productVersion, branding.versionNumbers)) {
    error = placed(file, table->get("product_version")->source(),
                   fmt::format("product_version \"{}\" is not a version: give one to four numbers from 0 to 65535 "
                               "separated by dots, such as \"1.2.0\"", *branding.productVersion));
    return false;
  }
  const toml::node* icon = table->get("icon");
  return !icon || readIcon(*icon, file, branding, error);
}

bool loadExeBranding(const fs::path& file, ExeBranding& branding, std::string& error) {
  toml::table root;
  try {
    root = toml::parse_file(file.string());
  } catch (const toml::parse_error& failure) {
    error = placed(file, failure.source(), std::string(failure.description()));
    return false;
  }
  const toml::node* node = root.get("exe");
  if (!node) {
    error = fmt::format("{}: the project file has no [exe] table", file.string());
    return false;
  }
  return readExeTable(*node, file, branding, error);
}

bool applyBranding(const ExeBranding& branding, ResourceTree& tree, std::string& error) {
  if (!branding.icon.empty()) brandIcon(branding.icon, tree);
  if (!hasVersionKeys(branding)) return true;
  auto& versions = tree[ResourceKey::ofId(kRtVersion)];
  if (versions.empty()) {
    VersionInfo info = emptyVersionInfo();
    brandVersion(branding, info);
    versions[ResourceKey::ofId(kVersionResource)][ResourceKey::ofId(kUsEnglish)] = ResourceLeaf{writeVersionInfo(info), 0};
    return true;
  }
  for (auto& [name, languages] : versions)
    for (auto& [language, leaf] : languages) {
      VersionInfo info;
      if (!parseVersionInfo(leaf.data, info, error)) return false;
      brandVersion(branding, info);
      leaf.data = writeVersionInfo(info);
      // Block lengths are 16-bit: a larger resource could not be read back.
      if (leaf.data.size() > 0xFFFF) {
        error = "its version information would grow beyond 64 KiB";
        return false;
      }
    }
  return true;
}

}  // namespace patchbuild
