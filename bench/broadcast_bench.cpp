// Broadcast latency: one WM_WININICHANGE to every window of a window farm
// in another program, from the send to the last answer.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/user32.h"

namespace {

// A window farm running beside the benchmark, in a station of its own.
class Farm {
 public:
  Farm(int answering, int hung) {
    char pattern[] = "/tmp/defprinter-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    runtime_ = pattern;
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 1);
      const std::string a = std::to_string(answering), h = std::to_string(hung);
      execl(WINDOW_FARM_PATH, WINDOW_FARM_PATH, a.c_str(), h.c_str(), nullptr);
      _exit(127);
    }
    close(fds[1]);
    char ready[6] = {};
    const bool ok = read(fds[0], ready, 6) == 6;
    close(fds[0]);
    if (!ok) throw std::runtime_error("the window farm did not start");
  }
  ~Farm() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    std::filesystem::remove_all(runtime_);
  }

 private:
  pid_t pid_ = -1;
  std::string runtime_;
};

void Broadcast() {
  static const char section[] = "windows";
  SendMessageA(HWND_BROADCAST, WM_WININICHANGE, 0, reinterpret_cast<LPARAM>(section));
}

void BM_BroadcastToAnsweringWindows(benchmark::State& state) {
  const Farm farm(static_cast<int>(state.range(0)), 0);
  for (auto _ : state) Broadcast();
  state.counters["windows"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_BroadcastToAnsweringWindows)
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->Arg(500)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_BroadcastWithHungWindows(benchmark::State& state) {
  const Farm farm(90, 10);
  for (auto _ : state) Broadcast();
}
BENCHMARK(BM_BroadcastWithHungWindows)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
