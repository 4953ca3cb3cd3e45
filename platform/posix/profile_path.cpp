#include "platform/posix/profile_path.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace platform::posix {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string HomeFolder() {
  if (std::string home = Environment("HOME"); !home.empty()) return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return "/";
}

}  // namespace

std::string ProfilePath() {
  // A relative path would mean another file in every folder the program
  // is started from: WININI and XDG_CONFIG_HOME count only when absolute,
  // as the base directory rules say of the latter.
  if (std::string path = Environment("WININI"); !path.empty() && path.front() == '/') return path;
  std::string config = Environment("XDG_CONFIG_HOME");
  if (config.empty() || config.front() != '/') config = HomeFolder() + "/.config";
  return config + "/winprofile/win.ini";
}

}  // namespace platform::posix
