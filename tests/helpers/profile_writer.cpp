// profile_writer: one of many programs writing the same profile at once.
//
//   profile_writer PREFIX COUNT GOFILE
//
// Waits until GOFILE exists, so that all writers start together, then
// writes keys PREFIX0 .. PREFIX<COUNT-1> of section "stress" twice each:
// first "first", then "last-PREFIX-i". Exits 0 when every write succeeded.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/kernel32.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: profile_writer PREFIX COUNT GOFILE\n", stderr);
    return 2;
  }
  const std::string prefix = argv[1];
  const int count = std::atoi(argv[2]);
  struct stat st {};
  while (stat(argv[3], &st) != 0) usleep(500);
  int failures = 0;
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < count; ++i) {
      const std::string key = prefix + std::to_string(i);
      const std::string value = pass == 0 ? "first" : "last-" + prefix + "-" + std::to_string(i);
      if (WriteProfileStringA("stress", key.c_str(), value.c_str()) == 0) ++failures;
    }
  }
  if (failures != 0) std::fprintf(stderr, "profile_writer: %d writes failed\n", failures);
  return failures == 0 ? 0 : 1;
}
