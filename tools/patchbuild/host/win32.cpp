// The builder's host on Windows: the wide-character file functions, with text converted between
// UTF-8 (everything inside the tool) and UTF-16 (the system) here and nowhere else.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After <windows.h>, which these two need.
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "patchbuild/host/host.h"

namespace fs = std::filesystem;

namespace patchbuild::host {

namespace {

std::wstring widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

std::string narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                   nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length, nullptr,
                      nullptr);
  return utf8;
}

// The system's words for an error code, in English where Windows has them, on one line: its
// messages end in a full stop and CR LF, which would break the one-line error.
std::string systemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
  DWORD length = FormatMessageW(flags, nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0) length = FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = length ? narrow(std::wstring_view(text, length)) : "";
  if (text) LocalFree(text);
  for (char& c : message)
    if (c == '\r' || c == '\n') c = ' ';
  while (!message.empty() && (message.back() == ' ' || message.back() == '.')) message.pop_back();
  return message.empty() ? "error " + std::to_string(code) : message;
}

// A name for the temporary file that no other run picks at the same moment.
std::wstring temporaryName(const std::wstring& target, unsigned attempt) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  unsigned long long mixed = static_cast<unsigned long long>(now.QuadPart) * 0x9E3779B97F4A7C15ull ^
                             (static_cast<unsigned long long>(GetCurrentProcessId()) << 20) ^ attempt;
  wchar_t suffix[16];
  static const wchar_t kDigits[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
  for (int i = 0; i < 6; i++, mixed /= 36) suffix[i] = kDigits[mixed % 36];
  suffix[6] = L'\0';
  return target + L".partial-" + suffix;
}

UINT savedConsoleOutputCodePage = 0;

void restoreConsoleOutputCodePage() { SetConsoleOutputCP(savedConsoleOutputCodePage); }

bool isConsole(DWORD which) {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

fs::path pathFromUtf8(const std::string& utf8) { return fs::path(widen(utf8)); }

std::string utf8FromPath(const fs::path& path) { return narrow(path.native()); }

fs::path programPath() {
  // Grown until the name fits: a long-path install may pass MAX_PATH.
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return fs::path();
    if (length < name.size()) return fs::path(name.substr(0, length));
    name.resize(name.size() * 2);
  }
}

bool isLink(const fs::path& path) {
  // The C++ library cannot tell links on Windows; the reparse tag can. FindFirstFileW reports
  // the entry itself, not what it points to.
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(found.dwReserved0);
}

FILE* openForReading(const fs::path& path) { return _wfopen(path.c_str(), L"rb"); }

bool mapFile(const fs::path& path, const uint8_t*& data, size_t& size) {
  data = nullptr;
  size = 0;
  // Shared for writing and deleting too, as the C library opens files for reading: a file that
  // another program keeps open must still be readable.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;  // a folder, too: it opens only with backup semantics
  LARGE_INTEGER length;
  bool ok = GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &length);
  if (ok && length.QuadPart > 0) {
    // The view keeps the mapping and the file open; their handles can go at once.
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (mapping) CloseHandle(mapping);
    if (view) {
      data = static_cast<const uint8_t*>(view);
      size = static_cast<size_t>(length.QuadPart);
    } else {
      ok = false;
    }
  }
  CloseHandle(file);
  return ok;
}

void unmapFile(const uint8_t* data, size_t) {
  if (data) UnmapViewOfFile(data);
}

bool replaceFile(const fs::path& path, const std::vector<uint8_t>& bytes, bool, std::string& why) {
  const std::wstring target = path.native();
  std::wstring temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 100; attempt++) {
    temporary = temporaryName(target, attempt);
    file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE) {
    why = "cannot create a file beside it: " + systemMessage(GetLastError());
    return false;
  }
  size_t written = 0;
  bool ok = true;
  while (ok && written < bytes.size()) {
    DWORD now = 0;
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - written, 1u << 30));
    ok = WriteFile(file, bytes.data() + written, chunk, &now, nullptr) && now > 0;
    written += now;
  }
  ok = ok && FlushFileBuffers(file);
  DWORD failure = ok ? 0 : GetLastError();
  if (!CloseHandle(file) && ok) {
    ok = false;
    failure = GetLastError();
  }
  // Write-through: the rename reaches the disk before the call returns.
  if (ok && MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  if (ok) failure = GetLastError();
  why = "cannot be written: " + systemMessage(failure);
  DeleteFileW(temporary.c_str());
  return false;
}

bool stderrIsTerminal() { return isConsole(STD_ERROR_HANDLE); }

long peakMemoryMiB() {
  PROCESS_MEMORY_COUNTERS counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
  return static_cast<long>(counters.PeakWorkingSetSize / (1024 * 1024));
}

std::vector<std::string> utf8Arguments(int argc, char** argv) {
  // The C runtime's argv is in the ANSI code page, which cannot hold every name; the UTF-16
  // command line can.
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  if (wide) {
    for (int i = 0; i < count; i++) arguments.push_back(narrow(wide[i]));
    LocalFree(wide);
  } else {
    arguments.assign(argv, argv + argc);
  }
  // The tool prints UTF-8; a console shows it as such only with its output code page set so.
  // The console belongs to the caller as well, so its code page is given back at the end.
  if (isConsole(STD_OUTPUT_HANDLE) || isConsole(STD_ERROR_HANDLE)) {
    savedConsoleOutputCodePage = GetConsoleOutputCP();
    if (SetConsoleOutputCP(CP_UTF8)) std::atexit(restoreConsoleOutputCodePage);
  }
  return arguments;
}

}  // namespace patchbuild::host
