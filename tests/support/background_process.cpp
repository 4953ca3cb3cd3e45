#include "tests/support/background_process.h"

#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace testing_support {

BackgroundProcess::BackgroundProcess(const std::string& program,
                                     const std::vector<std::string>& args,
                                     const std::map<std::string, std::string>& env,
                                     std::optional<uid_t> user) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  platform::posix::UniqueFd read(fds[0]), write(fds[1]);
  std::vector<std::string> argvStrings{program};
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& arg : argvStrings) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    dup2(write.get(), 1);
    const int devNull = open("/dev/null", O_RDONLY);
    dup2(devNull, 0);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    if (user) BecomeUser(*user);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  out_ = std::move(read);
}

BackgroundProcess::~BackgroundProcess() {
  if (pid_ > 0 && !status_) {
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

void BackgroundProcess::ReadAvailable(int timeoutMs) {
  if (ended_) return;
  pollfd entry{out_.get(), POLLIN, 0};
  if (poll(&entry, 1, timeoutMs) <= 0) return;
  char chunk[4096];
  const ssize_t got = read(out_.get(), chunk, sizeof(chunk));
  if (got <= 0) {
    ended_ = true;
    return;
  }
  buffer_.append(chunk, static_cast<std::size_t>(got));
  all_.append(chunk, static_cast<std::size_t>(got));
}

std::optional<std::string> BackgroundProcess::ReadLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (const auto newline = buffer_.find('\n'); newline != std::string::npos) {
      std::string line = buffer_.substr(0, newline);
      buffer_.erase(0, newline + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (ended_ || left.count() <= 0) return std::nullopt;
    ReadAvailable(static_cast<int>(left.count()));
  }
}

std::string BackgroundProcess::Output() {
  std::size_t before;
  do {
    before = all_.size();
    ReadAvailable(0);
  } while (all_.size() != before);
  return all_;
}

std::optional<int> BackgroundProcess::WaitExit(std::chrono::milliseconds timeout) {
  if (status_) return status_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      Output();
      return status_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    ReadAvailable(5);
  }
}

int BackgroundProcess::Stop() {
  if (!status_) {
    kill(pid_, SIGTERM);
    if (!WaitExit(std::chrono::seconds(5))) {
      kill(pid_, SIGKILL);
      WaitExit(std::chrono::seconds(5));
    }
  }
  return status_.value_or(-1);
}

}  // namespace testing_support
