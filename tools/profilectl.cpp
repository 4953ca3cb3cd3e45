// profilectl: looks at and changes the user profile through the profile
// calls, so that what it shows is what every program of the user sees.
//
//   profilectl get SECTION KEY        prints the value (exit 1 when absent)
//   profilectl set SECTION KEY VALUE  sets the value (exit 1 when refused)
//   profilectl keys SECTION           prints the section's key names
//   profilectl sections               prints the section names
//   profilectl remove SECTION [KEY]   removes the key, or the whole section
//
// A call that fails says why on standard error, naming the profile, the
// step that failed and the system's reason, and exits 1.

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kernel32.h"
#include "platform/posix/profile_path.h"
#include "platform/posix/profile_store.h"

namespace {

int Usage() {
  std::fputs(
      "usage: profilectl get SECTION KEY | set SECTION KEY VALUE | keys SECTION |\n"
      "                  sections | remove SECTION [KEY]\n",
      stderr);
  return 2;
}

// Says why the last profile call failed; returns the exit status for it.
int Failed(const char* doing) {
  std::fprintf(stderr, "profilectl: cannot %s %s: %s\n", doing,
               platform::posix::ProfilePath().c_str(),
               platform::posix::LastProfileStatus().ToString().c_str());
  return 1;
}

// The end of a write that returned `result`.
int Written(BOOL result) {
  if (result == 0) return Failed("write");
  const platform::posix::Status& status = platform::posix::LastProfileStatus();
  if (!status.ok()) {
    std::fprintf(stderr, "profilectl: wrote %s, but %s: the change may not survive a crash\n",
                 platform::posix::ProfilePath().c_str(), status.ToString().c_str());
  }
  return 0;
}

// A read reads an unreadable profile as empty; the user is told.
bool ReadFailed() { return !platform::posix::LastProfileStatus().ok(); }

// Prints a NUL-separated list, one name a line.
int PrintList(const char* section) {
  std::vector<char> buffer(1 << 20);
  const DWORD count = GetProfileStringA(section, nullptr, "", buffer.data(),
                                        static_cast<DWORD>(buffer.size()));
  if (ReadFailed()) return Failed("read");
  for (std::size_t at = 0; at < count;) {
    const std::string_view name(buffer.data() + at);
    std::printf("%.*s\n", static_cast<int>(name.size()), name.data());
    at += name.size() + 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) return Usage();
  const std::string_view command = args[0];
  if (command == "get" && args.size() == 3) {
    // A value nobody could store (it holds a line break) tells absent from
    // empty.
    const char* const absent = "\n";
    std::vector<char> buffer(1 << 20);
    GetProfileStringA(argv[2], argv[3], absent, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (ReadFailed()) return Failed("read");
    if (std::strcmp(buffer.data(), absent) == 0) return 1;
    std::printf("%s\n", buffer.data());
    return 0;
  }
  if (command == "set" && args.size() == 4) {
    return Written(WriteProfileStringA(argv[2], argv[3], argv[4]));
  }
  if (command == "keys" && args.size() == 2) return PrintList(argv[2]);
  if (command == "sections" && args.size() == 1) return PrintList(nullptr);
  if (command == "remove" && (args.size() == 2 || args.size() == 3)) {
    return Written(WriteProfileStringA(argv[2], args.size() == 3 ? argv[3] : nullptr, nullptr));
  }
  return Usage();
}
