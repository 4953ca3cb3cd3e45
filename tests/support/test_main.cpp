// The entry of every test program. Each program gets a window station of
// its own (a fresh XDG_RUNTIME_DIR), so windows made by tests running side
// by side never hear, or hold up, one another's broadcasts.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "tests/support/temp_dir.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // A death test's child program starts here again: it keeps the parent's.
  std::unique_ptr<testing_support::TempDir> runtime;
  if (std::getenv("DEFPRINTER_TEST_RUNTIME") == nullptr) {
    runtime = std::make_unique<testing_support::TempDir>();
    setenv("XDG_RUNTIME_DIR", runtime->path().c_str(), 1);
    setenv("DEFPRINTER_TEST_RUNTIME", "1", 1);
  }
  return RUN_ALL_TESTS();
}
