// window_farm: owns many top-level windows in one program, for measuring
// broadcasts. Each answering window runs its own message loop on a thread
// of its own; hung windows never handle a message.
//
//   window_farm ANSWERING [HUNG]
//
// Prints "ready" once every window can receive broadcasts, then runs until
// killed.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "platform/user32.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: window_farm ANSWERING [HUNG]\n", stderr);
    return 2;
  }
  const int answering = std::atoi(argv[1]);
  const int hung = argc > 2 ? std::atoi(argv[2]) : 0;
  std::vector<std::unique_ptr<platform::TopLevelWindow>> windows;
  for (int i = 0; i < answering + hung; ++i) {
    windows.push_back(std::make_unique<platform::TopLevelWindow>(
        [](UINT, WPARAM, LPARAM) -> LRESULT { return 0; }));
    if (!windows.back()->ReachableByOtherPrograms()) {
      std::fputs("window_farm: the window station cannot be used\n", stderr);
      return 1;
    }
  }
  std::vector<std::thread> loops;
  for (int i = 0; i < answering; ++i) {
    loops.emplace_back([window = windows[static_cast<std::size_t>(i)].get()] {
      for (;;) window->PumpMessage(std::chrono::milliseconds(-1));
    });
  }
  std::puts("ready");
  std::fflush(stdout);
  for (;;) pause();
}
