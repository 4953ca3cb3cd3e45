// profilectl: looks at and changes the user profile through the profile
// calls, so that what it shows is what every program of the user sees.
//
//   profilectl get SECTION KEY        prints the value (exit 1 when absent)
//   profilectl set SECTION KEY VALUE  sets the value (exit 1 when refused)
//   profilectl keys SECTION           prints the section's key names
//   profilectl sections               prints the section names
//   profilectl remove SECTION [KEY]   removes the key, or the whole section

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kernel32.h"

namespace {

int Usage() {
  std::fputs(
      "usage: profilectl get SECTION KEY | set SECTION KEY VALUE | keys SECTION |\n"
      "                  sections | remove SECTION [KEY]\n",
      stderr);
  return 2;
}

// Prints a NUL-separated list, one name a line.
int PrintList(const char* section) {
  std::vector<char> buffer(1 << 20);
  const DWORD count = GetProfileStringA(section, nullptr, "", buffer.data(),
                                        static_cast<DWORD>(buffer.size()));
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
    if (std::strcmp(buffer.data(), absent) == 0) return 1;
    std::printf("%s\n", buffer.data());
    return 0;
  }
  if (command == "set" && args.size() == 4) {
    return WriteProfileStringA(argv[2], argv[3], argv[4]) != 0 ? 0 : 1;
  }
  if (command == "keys" && args.size() == 2) return PrintList(argv[2]);
  if (command == "sections" && args.size() == 1) return PrintList(nullptr);
  if (command == "remove" && (args.size() == 2 || args.size() == 3)) {
    return WriteProfileStringA(argv[2], args.size() == 3 ? argv[3] : nullptr, nullptr) != 0 ? 0
                                                                                           : 1;
  }
  return Usage();
}
