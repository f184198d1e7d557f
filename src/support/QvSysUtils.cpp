#include "support/QvSysUtils.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <pwd.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "PlexorVersion.h"
#include "support/FileHandle.h"
#include "support/ProfileFile.h"

namespace plexor {
namespace {

#ifdef _WIN32

// On Windows the placement always lives beside the program, whose folder exists.
void MakeFolders(const std::string&) {}

#else

// Creates every missing folder of `dir`; failures show up when the file is written.
void MakeFolders(const std::string& dir) {
  for (size_t slash = dir.find('/', 1); slash != std::string::npos;
       slash = dir.find('/', slash + 1)) {
    ::mkdir(dir.substr(0, slash).c_str(), 0755);
  }
  ::mkdir(dir.c_str(), 0755);
}

std::string UserConfigDir() {
  // The XDG rules ignore an empty or relative value.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  std::string home;
  if (const char* env = std::getenv("HOME"); env != nullptr && env[0] != '\0') {
    home = env;
  } else if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    home = pw->pw_dir;
  }
  return home + "/.config";
}

#endif

}  // namespace

namespace {

int ProcessorsOfMachine() {
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace

std::optional<int> RunnableFromLoadavg(std::string_view text) {
  // Three averages, then "running/total".
  size_t at = 0;
  for (int field = 0; field < 3; ++field) {
    at = text.find(' ', at);
    if (at == std::string_view::npos) return std::nullopt;
    ++at;
  }
  const size_t slash = text.find('/', at);
  if (slash == std::string_view::npos) return std::nullopt;
  int running = 0;
  const auto [end, error] = std::from_chars(text.data() + at, text.data() + slash, running);
  if (error != std::errc() || end != text.data() + slash || running < 0) return std::nullopt;
  return running;
}

#ifdef _WIN32

// No cheap count of the threads waiting for a processor: every usable one counts as idle.
TProcessors CurrentProcessors() {
  const int usable = ProcessorsOfMachine();
  return {usable, usable};
}

#else

TProcessors CurrentProcessors() {
  TProcessors result;
  cpu_set_t set;
  // The affinity mask, not the machine: taskset and container limits narrow it.
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    result.Usable = std::max(1, CPU_COUNT(&set));
  } else {
    result.Usable = ProcessorsOfMachine();
  }
  result.Idle = result.Usable;
  const int fd = ::open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return result;
  // A thread woken for a moment (a timer, the kernel's own) is not work: the least of a
  // few looks a millisecond apart counts only what keeps running.
  std::optional<int> least;
  for (int look = 0; look < 3; ++look) {
    if (look > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    char text[128];
    const ssize_t n = ::pread(fd, text, sizeof text, 0);
    if (n <= 0) break;
    const std::optional<int> running =
        RunnableFromLoadavg(std::string_view(text, static_cast<size_t>(n)));
    if (!running) break;
    least = least ? std::min(*least, *running) : *running;
  }
  ::close(fd);
  // The count includes this thread.
  if (least) result.Idle = std::clamp(result.Usable - (*least - 1), 0, result.Usable);
  return result;
}

#endif

std::string GetExeFileVersion() {
  return kPlexorVersionText;
}

// The Windows side of these two is in QvSysUtilsWin32.cpp.
#ifndef _WIN32

std::string GetExePath() {
  std::string path(4096, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < path.size()) {
      path.resize(static_cast<size_t>(n));
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::string WindowPlacementIniPath(const std::string& exePath) {
  const std::string beside = GetFileDir(exePath) + GetFileBaseName(exePath) + ".INI";
  if (RegularFileExists(beside) && ::access(beside.c_str(), W_OK) == 0) return beside;
  return UserConfigDir() + "/plexor-converter/plexor-converter.INI";
}

#endif

std::string GetExeDir() {
  return GetFileDir(GetExePath());
}

TWindowPlacement ReadWindowPlacement(const std::string& iniPath) {
  const TProfileFile ini(iniPath);
  TWindowPlacement p;
  p.Left = ini.ReadInteger(kPlacementSection, "Left", p.Left);
  p.Top = ini.ReadInteger(kPlacementSection, "Top", p.Top);
  p.Width = ini.ReadInteger(kPlacementSection, "Width", p.Width);
  p.Height = ini.ReadInteger(kPlacementSection, "Height", p.Height);
  p.State = ini.ReadInteger(kPlacementSection, "State", 0);
  if (p.State < 0 || p.State > 2) p.State = 0;
  return p;
}

void WriteWindowPlacement(const std::string& iniPath, const TWindowPlacement& placement) {
  const std::string dir = GetFileDir(iniPath);
  if (!dir.empty() && dir != "/") MakeFolders(dir.substr(0, dir.size() - 1));
  TProfileFile ini(iniPath);
  if (placement.State == 0) {
    ini.WriteInteger(kPlacementSection, "Left", placement.Left);
    ini.WriteInteger(kPlacementSection, "Top", placement.Top);
    ini.WriteInteger(kPlacementSection, "Width", placement.Width);
    ini.WriteInteger(kPlacementSection, "Height", placement.Height);
  }
  ini.WriteInteger(kPlacementSection, "State", placement.State);
}

}  // namespace plexor
