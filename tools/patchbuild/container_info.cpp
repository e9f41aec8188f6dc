// Reading a container (or an updater executable's resource) back, and reporting it.
#include "patchbuild/container_info.h"

#include <fmt/format.h>

#include <cstdio>
#include <filesystem>

#include "patchbuild/codepage.h"
#include "patchbuild/folder_scan.h"
#include "patchbuild/host/host.h"
#include "patchbuild/pe_resource.h"
#include "patchdata/archive.h"
#include "patchdata/payload_check.h"
#include "patchdata/payload_cursor.h"
#include "patchdata/payload_records.h"

namespace patchbuild {

const char* opTypeName(uint8_t type) {
  static const char* kNames[] = {"unknown", "delta", "exact-delta", "write", "delete", "rename", "make-folder", "remove-folder"};
  return type < 8 ? kNames[type] : "unknown";
}

bool readContainer(const std::string& path, ContainerInfo& info, std::string& error) {
  info = ContainerInfo{};
  std::vector<uint8_t> container;
  if (!readWholeFile(host::pathFromUtf8(path), container)) {
    error = fmt::format("{}: the file cannot be read", path);
    return false;
  }
  // An updater executable carries its container as a resource.
  if (container.size() >= 2 && container[0] == 'M' && container[1] == 'Z') {
    std::vector<uint8_t> image = std::move(container);
    if (!findPatchResource(image, container, error)) {
      error = fmt::format("{}: {}", path, error);
      return false;
    }
  }
  PatchArchive archive;
  int code = archive.loadFromMemory(container.data(), container.size());
  if (code != kLoadOk) {
    error = fmt::format("{}: not a valid container; the updater would refuse it with error {}", path, 400 + code);
    return false;
  }
  PayloadProblem problem = checkPayloadStructure(archive.payload, archive.payloadSize);
  if (problem.found) {
    error = fmt::format("{}: the payload is damaged at offset {} ({}); the updater would refuse it with error {}",
                        path, problem.offset, problem.what, 400 + kLoadPayloadStructureBroken);
    return false;
  }
  info.containerSize = container.size();
  info.compressedSize = container[4] | container[5] << 8 | container[6] << 16 | static_cast<uint32_t>(container[7]) << 24;
  info.payloadSize = archive.payloadSize;
  info.payload.assign(archive.payload, archive.payload + archive.payloadSize);
  PayloadCursor cursor(info.payload.data(), info.payload.data() + info.payload.size());
  cursor.readU32();
  info.registryPath = cursor.readString();
  int32_t messages = cursor.readI32();
  for (int32_t i = 0; i < messages; i++) {
    std::string key = cursor.readString();
    std::string text = cursor.readString();
    info.messages.emplace_back(key, text);
  }
  info.versionCount = cursor.readI32();
  for (int32_t v = 0; v + 1 < info.versionCount; v++) info.workTotals.push_back(cursor.readU32());
  int32_t identCount = cursor.readI32();
  for (int32_t f = 0; f < identCount; f++) {
    std::string name = cursor.readString();
    std::vector<uint32_t> checksums;
    for (int32_t v = 0; v < info.versionCount; v++) checksums.push_back(cursor.readU32());
    info.identFiles.emplace_back(name, checksums);
  }
  int32_t opCount = cursor.readI32();
  for (int32_t i = 0; i < opCount; i++) {
    PatchOp op;
    readPatchOp(cursor, op);
    OpInfo entry;
    entry.type = op.type;
    entry.bodyLength = op.bodyLength;
    if (op.type == kOpChainedDelta || op.type == kOpExactDelta) {
      DeltaHeader header;
      readDeltaHeader(op.body, header);
      entry.name = header.name;
      entry.version = header.version;
      entry.newSize = header.newSize;
      entry.newChecksum = header.newChecksum;
      entry.oldSize = header.oldSize;
      entry.oldChecksum = header.oldChecksum;
      DeltaCommand command;
      while (readDeltaCommand(op.body, command) == CommandRead::Command) {
        if (command.isLiteral()) {
          entry.literals++;
          entry.literalBytes += command.length();
        } else {
          entry.copies++;
          entry.copiedBytes += command.length();
        }
      }
    } else if (op.type >= kOpWriteFile && op.type <= kOpRemoveFolder) {
      entry.name = op.body.readString();
      if (op.type == kOpRename) entry.newName = op.body.readString();
      if (op.type == kOpWriteFile) entry.bodyLength = op.body.remaining();
    }
    info.ops.push_back(entry);
  }
  return true;
}

namespace {

std::string jsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20)
          out += fmt::format("\\u{:04x}", c);
        else
          out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

uint64_t opWork(const OpInfo& op) {
  if (op.type == 1 || op.type == 2) return uint64_t{op.oldSize} + 2 * op.copiedBytes + op.literalBytes + op.newSize;
  if (op.type == 3) return op.bodyLength;
  return 0;
}

}  // namespace

std::string describeContainer(const ContainerInfo& info, int codePage) {
  auto text = [&](const std::string& bytes) { return fromCodePage(bytes, codePage); };
  std::string out;
  out += fmt::format("container      {} bytes ({} compressed, payload {} bytes inflated, {:.1f}%)\n",
                     info.containerSize, info.compressedSize, info.payloadSize,
                     info.payloadSize ? 100.0 * static_cast<double>(info.compressedSize) / static_cast<double>(info.payloadSize) : 0.0);
  out += fmt::format("registry       {}\n", text(info.registryPath));
  out += fmt::format("messages       {}\n", info.messages.size());
  for (const auto& [key, value] : info.messages) out += fmt::format("  {:<16} {}\n", text(key), text(value));
  out += fmt::format("versions       {} (0 oldest, {} newest)\n", info.versionCount, info.versionCount - 1);
  for (size_t v = 0; v < info.workTotals.size(); v++)
    out += fmt::format("  work from {:<4} {} units\n", v, info.workTotals[v]);
  out += fmt::format("identification {} file{}\n", info.identFiles.size(), info.identFiles.size() == 1 ? "" : "s");
  for (const auto& [name, checksums] : info.identFiles) {
    std::string list;
    for (uint32_t value : checksums) list += fmt::format(" {:08x}", value);
    out += fmt::format("  {}:{}\n", text(name), list);
  }
  out += fmt::format("operations     {}\n", info.ops.size());
  for (size_t i = 0; i < info.ops.size(); i++) {
    const OpInfo& op = info.ops[i];
    std::string line = fmt::format("  {:>4} {:<13}", i + 1, opTypeName(op.type));
    switch (op.type) {
      case 1:
      case 2:
        line += fmt::format(" v{:<3} {}  {} -> {} bytes, {} copies ({} bytes), {} literals ({} bytes)",
                            op.version, text(op.name), op.oldSize, op.newSize, op.copies, op.copiedBytes,
                            op.literals, op.literalBytes);
        break;
      case 3: line += fmt::format("      {}  {} bytes", text(op.name), op.bodyLength); break;
      case 5: line += fmt::format("      {} -> {}", text(op.name), text(op.newName)); break;
      default: line += fmt::format("      {}", text(op.name)); break;
    }
    out += line + "\n";
  }
  return out;
}

std::string describeContainerJson(const ContainerInfo& info, int codePage) {
  auto text = [&](const std::string& bytes) { return jsonString(fromCodePage(bytes, codePage)); };
  std::string out = "{\n";
  out += fmt::format("  \"containerSize\": {},\n  \"compressedSize\": {},\n  \"payloadSize\": {},\n",
                     info.containerSize, info.compressedSize, info.payloadSize);
  out += fmt::format("  \"registry\": {},\n", text(info.registryPath));
  out += "  \"messages\": [";
  for (size_t i = 0; i < info.messages.size(); i++)
    out += fmt::format("{}\n    {{\"key\": {}, \"text\": {}}}", i ? "," : "", text(info.messages[i].first),
                       text(info.messages[i].second));
  out += info.messages.empty() ? "],\n" : "\n  ],\n";
  out += fmt::format("  \"versionCount\": {},\n  \"workTotals\": [", info.versionCount);
  for (size_t v = 0; v < info.workTotals.size(); v++) out += fmt::format("{}{}", v ? ", " : "", info.workTotals[v]);
  out += "],\n  \"identification\": [";
  for (size_t f = 0; f < info.identFiles.size(); f++) {
    std::string list;
    for (size_t v = 0; v < info.identFiles[f].second.size(); v++)
      list += fmt::format("{}\"{:08x}\"", v ? ", " : "", info.identFiles[f].second[v]);
    out += fmt::format("{}\n    {{\"name\": {}, \"checksums\": [{}]}}", f ? "," : "", text(info.identFiles[f].first), list);
  }
  out += info.identFiles.empty() ? "],\n" : "\n  ],\n";
  out += "  \"operations\": [";
  for (size_t i = 0; i < info.ops.size(); i++) {
    const OpInfo& op = info.ops[i];
    std::string fields = fmt::format("\"type\": {}, \"kind\": \"{}\"", op.type, opTypeName(op.type));
    if (op.type >= 1 && op.type <= 7) fields += fmt::format(", \"name\": {}", text(op.name));
    if (op.type == 5) fields += fmt::format(", \"newName\": {}", text(op.newName));
    if (op.type == 1 || op.type == 2)
      fields += fmt::format(", \"version\": {}, \"oldSize\": {}, \"newSize\": {}, \"oldChecksum\": \"{:08x}\", "
                            "\"newChecksum\": \"{:08x}\", \"copies\": {}, \"copiedBytes\": {}, \"literals\": {}, "
                            "\"literalBytes\": {}",
                            op.version, op.oldSize, op.newSize, op.oldChecksum, op.newChecksum, op.copies,
                            op.copiedBytes, op.literals, op.literalBytes);
    if (op.type == 3) fields += fmt::format(", \"size\": {}", op.bodyLength);
    fields += fmt::format(", \"work\": {}", opWork(op));
    out += fmt::format("{}\n    {{{}}}", i ? "," : "", fields);
  }
  out += info.ops.empty() ? "]\n" : "\n  ]\n";
  return out + "}\n";
}

}  // namespace patchbuild
