#include "support/wine_run.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

bool wineCanRun(std::string& why) {
  const char* state = std::getenv("PATCHUTILITY_WINE");
  if (state && std::string(state) == "unavailable") why = "Wine runs no programs on this machine";
  else if (std::system("command -v wine >/dev/null 2>&1") != 0) why = "wine is not installed";
  return why.empty();
}

bool runUnderWine(const std::string& exe, const std::string& arguments, const std::string& scratch, std::string& out) {
  const char* prefix = std::getenv("WINEPREFIX");
  std::string command = "WINEPREFIX='" + std::string(prefix ? prefix : WINE_PREFIX_DEFAULT) +
                        "' WINEDLLOVERRIDES='mscoree,mshtml=' wine '" + exe + "' " + arguments + " >'" + scratch +
                        "/wine.out' 2>'" + scratch + "/wine.err' </dev/null";
  int status = std::system(command.c_str());
  auto slurp = [](const std::string& path) {
    std::ifstream in(path);
    std::string text(std::istreambuf_iterator<char>(in), {});
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
  };
  out = slurp(scratch + "/wine.out");
  if (status == 0) return true;
  out = "wine exited with status " + std::to_string(status) + "; it said:\n" + slurp(scratch + "/wine.err");
  return false;
}

std::string windowsPathOf(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}
