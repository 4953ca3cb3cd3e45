#include "tests/support/process.h"

#include <grp.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "platform/posix/unique_fd.h"

namespace testing_support {
namespace {

using platform::posix::UniqueFd;

struct Pipe {
  UniqueFd read;
  UniqueFd write;
  Pipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    read.reset(fds[0]);
    write.reset(fds[1]);
  }
};

}  // namespace

void BecomeUser(uid_t id) {
  if (setgroups(0, nullptr) != 0 || setgid(id) != 0 || setuid(id) != 0) _exit(126);
}

ProcessResult RunProcess(const std::string& program, const ProcessOptions& options) {
  Pipe in, out, err;
  std::vector<std::string> argvStrings{program};
  argvStrings.insert(argvStrings.end(), options.args.begin(), options.args.end());
  std::vector<char*> argv;
  for (auto& arg : argvStrings) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in.read.get(), 0);
    dup2(out.write.get(), 1);
    dup2(err.write.get(), 2);
    for (const auto& name : options.unsetEnv) unsetenv(name.c_str());
    for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
    if (options.user) BecomeUser(*options.user);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  in.read.reset();
  out.write.reset();
  err.write.reset();
  // Standard input stays open and empty for as long as the child runs.
  if (!options.stdinNeverCloses) in.write.reset();

  ProcessResult result;
  const auto deadline = start + options.timeout;
  pollfd fds[2] = {{out.read.get(), POLLIN, 0}, {err.read.get(), POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      break;
    }
    const int ready = poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char chunk[4096];
      const ssize_t got = read(fds[i].fd, chunk, sizeof(chunk));
      if (got > 0) {
        sinks[i]->append(chunk, static_cast<std::size_t>(got));
      } else {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  // The child may have closed its outputs and still be running.
  int status = 0;
  while (!result.timedOut && waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      result.timedOut = true;
      break;
    }
    usleep(1000);
  }
  if (result.timedOut) {
    kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  if (!result.timedOut && WIFEXITED(status)) {
    result.exited = true;
    result.status = WEXITSTATUS(status);
  }
  return result;
}

}  // namespace testing_support
