// patchbuild: builds, inspects, verifies and embeds the updater's patch containers.
#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "patchbuild/builder.h"
#include "patchbuild/container_info.h"
#include "patchbuild/file_bytes.h"
#include "patchbuild/folder_scan.h"
#include "patchbuild/host/host.h"
#include "patchbuild/output_file.h"
#include "patchbuild/pe_resource.h"
#include "patchbuild/progress.h"
#include "patchbuild/project_file.h"
#include "patchbuild/update_exe.h"
#include "patchbuild/verify.h"
#include "patchdata/checksum.h"
#include "project_version.h"

namespace fs = std::filesystem;
using namespace patchbuild;

namespace {

int failWith(const std::string& message) {
  std::fprintf(stderr, "patchbuild: %s\n", message.c_str());
  return 1;
}

void printWarnings(const std::vector<std::string>& warnings) {
  for (const std::string& warning : warnings) std::fprintf(stderr, "patchbuild: warning: %s\n", warning.c_str());
}

int writeUpdateExe(const UpdateExeRequest& request, const std::vector<uint8_t>& image,
                   const std::vector<uint8_t>& container, const ExeBranding& branding) {
  std::vector<std::string> warnings;
  std::string error;
  if (!writeUpdateExe(request, image, container, branding, warnings, error)) return failWith(error);
  printWarnings(warnings);
  return 0;
}

int runBuild(const std::string& projectPath, const std::string& output, const UpdateExeRequest& exe, bool quiet) {
  auto started = std::chrono::steady_clock::now();
  Project project;
  std::string error;
  if (!loadProject(host::pathFromUtf8(projectPath), project, error)) return failWith(error);
  if (!checkOutputPath(project, output, error)) return failWith(error);
  // The template is checked before the build, which may take long, not after it.
  std::vector<uint8_t> image;
  if (!exe.output.empty() && !readTemplate(exe, image, error)) return failWith(error);
  Progress progress(!quiet);
  BuildSettings settings;
  settings.progress = &progress;
  std::vector<uint8_t> container;
  BuildSummary summary;
  if (!buildContainer(project, settings, container, summary, error)) {
    progress.finish();
    return failWith(error);
  }
  progress.finish();
  if (!writeFileAtomically(output, container, error)) return failWith(error);
  printWarnings(summary.warnings);
  if (!exe.output.empty()) {
    if (int status = writeUpdateExe(exe, image, container, project.exe)) return status;
  }
  if (!quiet) {
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::string idents;
    for (const std::string& name : summary.identFiles) idents += (idents.empty() ? "" : ", ") + name;
    std::printf("%s: %zu bytes (payload %zu bytes, %s), %d versions, %zu records "
                "(%zu deltas, %zu writes, %zu deletes, %zu renames, %zu folders), identified by %s, %.1f s\n",
                output.c_str(), summary.containerSize, summary.payloadSize, summary.compression.c_str(),
                summary.versionCount,
                summary.records[1] + summary.records[2] + summary.records[3] + summary.records[4] +
                    summary.records[5] + summary.records[6] + summary.records[7],
                summary.records[1] + summary.records[2], summary.records[3], summary.records[4],
                summary.records[5], summary.records[6] + summary.records[7],
                idents.empty() ? "no file (a single version)" : idents.c_str(), seconds);
  }
  return 0;
}

int runInfo(const std::string& path, bool json, int codePage) {
  ContainerInfo info;
  std::string error;
  if (!readContainer(path, info, error)) return failWith(error);
  std::string text = json ? describeContainerJson(info, codePage) : describeContainer(info, codePage);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

int runVerify(const std::string& path, const std::string& folder, int codePage, bool quiet) {
  VerifyReport report;
  std::string error;
  if (!verifyInstall(path, folder, codePage, report, error)) return failWith(error);
  if (!quiet)
    for (const std::string& line : report.lines) std::printf("%s\n", line.c_str());
  if (report.identified < 0) return failWith(fmt::format("{}: not a known version of this patch", folder));
  if (!report.wouldSucceed) return failWith(fmt::format("{}: the update would fail (see above)", folder));
  return 0;
}

int runChecksum(const std::vector<std::string>& files) {
  int status = 0;
  for (const std::string& file : files) {
    std::error_code code;
    fs::path path = host::pathFromUtf8(file);
    MappedFile bytes;
    if (!fs::is_regular_file(path, code) || !bytes.open(path)) {
      std::fprintf(stderr, "patchbuild: %s: cannot be read (missing or not a file)\n", file.c_str());
      status = 1;
      continue;
    }
    // The updater's own checksum function, over the whole file.
    uint32_t value = checksumUpdate(kChecksumStart, bytes.data(), bytes.size());
    std::printf("%08x %llu %s\n", value, static_cast<unsigned long long>(bytes.size()), file.c_str());
  }
  return status;
}

int runExe(const std::string& containerPath, const UpdateExeRequest& exe, const std::string& projectPath) {
  std::vector<uint8_t> container, image;
  std::string error;
  ExeBranding branding;
  if (!projectPath.empty() && !loadExeBranding(host::pathFromUtf8(projectPath), branding, error)) return failWith(error);
  if (!readWholeFile(host::pathFromUtf8(containerPath), container)) return failWith(fmt::format("{}: the file cannot be read", containerPath));
  ContainerInfo info;
  if (!readContainer(containerPath, info, error)) return failWith(error);
  // An updater given as the container: its own container is what gets embedded.
  if (container.size() >= 2 && container[0] == 'M' && container[1] == 'Z' && !findPatchResource(container, container, error))
    return failWith(fmt::format("{}: {}", containerPath, error));
  if (!readTemplate(exe, image, error)) return failWith(error);
  return writeUpdateExe(exe, image, container, branding);
}

int run(int argc, char** argv) {
  CLI::App app{"patchbuild: builds, inspects, verifies and embeds patch containers for the updater"};
  app.require_subcommand(1);
  bool quiet = false;
  app.add_flag("-q,--quiet", quiet, "print nothing but errors and warnings; no progress bar");
  app.set_version_flag("--version", "patchbuild " PATCH_UTILITY_VERSION, "print the version and exit");
  UpdateExeRequest exeRequest;
  exeRequest.program = ownProgramPath(argc > 0 ? argv[0] : nullptr);

  std::string project, output = "patch.pat";
  CLI::App* build = app.add_subcommand("build", "build a container from a project file");
  build->add_option("project", project, "the project file (TOML)")->required();
  build->add_option("-o,--output", output, "the container to write")->capture_default_str();
  build->add_flag("-q,--quiet", quiet, "no progress bar, no summary");
  CLI::Option* buildExe = build->add_option("--exe", exeRequest.output, "also write the update executable: the "
                                            "container embedded, branded from the project's [exe] table");
  build->add_option("--template", exeRequest.templatePath,
                    "the updater to copy for --exe (default: PatchUtility.exe beside patchbuild)")
      ->needs(buildExe);

  std::string container;
  bool json = false;
  int codePage = 1252;
  CLI::App* info = app.add_subcommand("info", "show what a container holds");
  info->add_option("container", container, "the container (patch.pat)")->required();
  info->add_flag("--json", json, "print JSON");
  info->add_option("--codepage", codePage, "the code page of its texts")->capture_default_str();

  std::string folder;
  CLI::App* verify = app.add_subcommand("verify", "dry run against an installed folder: its version and whether every record would apply");
  verify->add_option("container", container, "the container (patch.pat)")->required();
  verify->add_option("folder", folder, "the installed program's folder")->required();
  verify->add_option("--codepage", codePage, "the code page of its names")->capture_default_str();
  verify->add_flag("-q,--quiet", quiet, "only the outcome, by exit code");

  std::vector<std::string> files;
  CLI::App* checksum = app.add_subcommand("checksum", "the updater's checksum of each file, as cksum prints it");
  checksum->add_option("files", files, "files to checksum")->required();

  std::string exeProject;
  CLI::App* exe = app.add_subcommand("exe", "embed a container into a copy of the updater as its PATCHDATA resource");
  exe->add_option("container", container, "the container (patch.pat)")->required();
  exe->add_option("--template", exeRequest.templatePath,
                  "the updater executable (default: PatchUtility.exe beside patchbuild)");
  exe->add_option("--project", exeProject, "brand the executable from this project file's [exe] table");
  exe->add_option("-o,--output", exeRequest.output, "the executable to write")->required();

  for (int i = 1; i < argc; i++) {
    std::string word = argv[i];
    if (word.empty() || word[0] == '-') continue;
    static const char* kCommands[] = {"build", "info", "verify", "checksum", "exe"};
    if (std::find(std::begin(kCommands), std::end(kCommands), word) == std::end(kCommands)) {
      std::fprintf(stderr, "patchbuild: unknown command \"%s\" (expected build, info, verify, checksum or exe)\n", argv[i]);
      return 2;
    }
    break;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForVersion& version) {
    return app.exit(version);
  } catch (const CLI::ParseError& failure) {
    std::fprintf(stderr, "patchbuild: %s (see patchbuild --help)\n", failure.what());
    return 2;
  }
  if (*build) return runBuild(project, output, exeRequest, quiet);
  if (*info) return runInfo(container, json, codePage);
  if (*verify) return runVerify(container, folder, codePage, quiet);
  if (*checksum) return runChecksum(files);
  if (*exe) return runExe(container, exeRequest, exeProject);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Arguments are UTF-8 from here on, on every system.
  std::vector<std::string> arguments = host::utf8Arguments(argc, argv);
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  try {
    return run(static_cast<int>(arguments.size()), pointers.data());
  } catch (const std::exception& failure) {
    // Whatever escapes (memory exhausted, a name the system cannot convert) still ends as one
    // line and a failing exit code, never as an abort.
    return failWith(failure.what());
  }
}
