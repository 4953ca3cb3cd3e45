#pragma once
// Runs a program as a child process and collects what it did.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct ProcessResult {
  bool exited = false;  // ended on its own (not killed, not timed out)
  int status = -1;      // exit status when it exited
  bool timedOut = false;
  std::string out;  // everything it wrote to standard output
  std::string err;  // and to standard error
  std::chrono::milliseconds elapsed{0};
};

struct ProcessOptions {
  std::vector<std::string> args;              // after the program path
  std::map<std::string, std::string> env;     // set on top of ours
  std::vector<std::string> unsetEnv;          // removed from ours
  bool stdinNeverCloses = false;              // a pipe nobody writes or closes
  std::chrono::milliseconds timeout{20000};   // then it is killed
  std::optional<uid_t> user;                  // run as this user id (and group id), from root
};

// In a child before exec: takes on user and group id `id` with no
// supplementary groups; exits the child with 126 when that fails.
void BecomeUser(uid_t id);

// The user ids the tests act as when they play other local users; usable
// only when the tests run as root.
inline constexpr uid_t kVictimUser = 61001;
inline constexpr uid_t kAttackerUser = 61002;

ProcessResult RunProcess(const std::string& program, const ProcessOptions& options = {});

}  // namespace testing_support
