#pragma once
// A program running beside a test: its output read line by line while it
// runs, killed and reaped when the object goes.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/unique_fd.h"

namespace testing_support {

class BackgroundProcess {
 public:
  // `user`, when given, is the user (and group) id the program runs as.
  BackgroundProcess(const std::string& program, const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env = {},
                    std::optional<uid_t> user = std::nullopt);
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  // The next line of standard output without its "\n", or nullopt when
  // none came within `timeout` or the output ended.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);

  // Everything written to standard output so far.
  std::string Output();

  // Sends SIGTERM and waits for the exit; returns the exit status, or -1
  // when it was killed by a signal.
  int Stop();

  // Waits up to `timeout` for the program to exit on its own; returns its
  // status, or nullopt if it is still running.
  std::optional<int> WaitExit(std::chrono::milliseconds timeout);

 private:
  void ReadAvailable(int timeoutMs);

  pid_t pid_ = -1;
  platform::posix::UniqueFd out_;
  std::string buffer_;
  std::string all_;
  bool ended_ = false;
  std::optional<int> status_;
};

}  // namespace testing_support
