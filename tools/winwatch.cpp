// winwatch: a running program that owns one top-level window and shows the
// messages it receives, such as defprinter's WM_WININICHANGE broadcast.
//
//   winwatch [--count N] [--delay-ms N] [--hang]
//
// Prints "ready" once the window can receive broadcasts, then one line per
// message it handles: "WM_WININICHANGE <section>" for that message, or
// "0x<message in hex> <wParam>" for any other. Exits 0 after N messages
// (with --count; otherwise it runs until killed). --delay-ms waits that long
// before each answer; --hang never handles a message at all, as a program
// that has stopped responding. Exits 1 when the window station cannot be
// used, 2 on a bad command line.

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

#include "platform/user32.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

int Usage() {
  std::fputs("usage: winwatch [--count N] [--delay-ms N] [--hang]\n", stderr);
  return 2;
}

bool ParseCount(const char* text, long* value) {
  char* end = nullptr;
  *value = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && *value >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  long count = -1;
  long delayMs = 0;
  bool hang = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--count" && i + 1 < argc) {
      if (!ParseCount(argv[++i], &count)) return Usage();
    } else if (arg == "--delay-ms" && i + 1 < argc) {
      if (!ParseCount(argv[++i], &delayMs)) return Usage();
    } else if (arg == "--hang") {
      hang = true;
    } else {
      return Usage();
    }
  }

  // Ending on a signal goes through the normal exit, so the window leaves
  // the station.
  struct sigaction action {};
  action.sa_handler = [](int) { stopRequested = 1; };
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);

  long handled = 0;
  platform::TopLevelWindow window([&](UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message == WM_WININICHANGE) {
      const char* section = reinterpret_cast<const char*>(lParam);
      std::printf("WM_WININICHANGE %s\n", section != nullptr ? section : "");
    } else {
      std::printf("0x%x %lu\n", message, static_cast<unsigned long>(wParam));
    }
    std::fflush(stdout);
    ++handled;
    if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    return 0;
  });
  if (!window.ReachableByOtherPrograms()) {
    std::fputs("winwatch: the window station cannot be used\n", stderr);
    return 1;
  }
  std::puts("ready");
  std::fflush(stdout);

  while (!stopRequested && (count < 0 || handled < count)) {
    if (hang) {
      pause();
      continue;
    }
    window.PumpMessage(std::chrono::milliseconds(200));
  }
  return 0;
}
