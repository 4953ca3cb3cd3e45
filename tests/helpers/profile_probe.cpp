// profile_probe: makes the profile calls its arguments name and prints what
// each returned, one line a call, so that the same calls can be made of our
// Linux store and of Windows' (under Wine) and the answers compared.
//
//   profile_probe CALL...    where CALL is one of
//     get SECTION KEY DEFAULT SIZE    GetProfileStringA; "-" for a null
//                                     pointer; prints the count and the
//                                     first SIZE bytes of the buffer
//     write SECTION KEY VALUE         WriteProfileStringA; prints its result
//
// Bytes that are not printable ASCII are printed as \xNN, NUL as \0, and a
// buffer byte the call did not write as "#".

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kernel32.h"

namespace {

const char* Arg(const char* text) { return std::string_view(text) == "-" ? nullptr : text; }

std::string Printable(const std::vector<char>& bytes, std::size_t size) {
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    char escaped[8];
    if (c == 0) {
      out += "\\0";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c >= 0x7F) {
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc;) {
    const std::string_view call = argv[i];
    if (call == "get" && i + 4 < argc) {
      const auto size = static_cast<DWORD>(std::strtoul(argv[i + 4], nullptr, 10));
      // '#' marks the bytes the call leaves alone.
      std::vector<char> buffer(size + 1, '#');
      const DWORD count = GetProfileStringA(Arg(argv[i + 1]), Arg(argv[i + 2]), Arg(argv[i + 3]),
                                            buffer.data(), size);
      std::printf("%lu %s\n", static_cast<unsigned long>(count), Printable(buffer, size).c_str());
      i += 5;
    } else if (call == "write" && i + 3 < argc) {
      const BOOL result = WriteProfileStringA(Arg(argv[i + 1]), Arg(argv[i + 2]), Arg(argv[i + 3]));
      std::printf("%d\n", result != 0 ? 1 : 0);
      i += 4;
    } else {
      std::fputs(
          "usage: profile_probe (get SECTION KEY DEFAULT SIZE | write SECTION KEY VALUE)...\n",
          stderr);
      return 2;
    }
  }
  return 0;
}
