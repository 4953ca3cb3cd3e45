// make_profile: writes a typical profile of about SIZE bytes to standard
// output, for the whole-process comparison.
//
//   make_profile SIZE

#include <cstdio>
#include <cstdlib>

#include "bench/profile_fixtures.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string profile = bench::TypicalProfile(std::strtoull(argv[1], nullptr, 10));
  return std::fwrite(profile.data(), 1, profile.size(), stdout) == profile.size() ? 0 : 1;
}
