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

#if !defined(_WIN32)
#include <signal.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

#include "platform/user32.h"

namespace {

#if defined(_WIN32)
extern "C" __declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);
extern "C" int _setmode(int fd, int mode);  // the C runtime's
constexpr int kBinaryMode = 0x8000;         // _O_BINARY
// The same lines as on Linux: LF, not the CR LF of a text-mode stream.
void PrintLinesAsTheyAre() { _setmode(1, kBinaryMode); }
// Windows ends a console program on Ctrl+C or when it is killed; nothing
// is asked to stop.
constexpr bool stopRequested = false;
void NeverAnswer() { Sleep(0xFFFFFFFF); }
#else
volatile sig_atomic_t stopRequested = 0;
void NeverAnswer() { pause(); }
void PrintLinesAsTheyAre() {}
#endif

int Usage() {
  std::fputs("usage: winwatch [--count N] [--delay-ms N] [--hang]\n", stderr);
  return 2;
}

bool ParseCount(const char* text, long* value) {
  char* end = nullptr;
  *value = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && *value >= 0;
}

// `text` with what a terminal would act on written out as \xNN instead:
// C0 controls, DEL, and the C1 controls as UTF-8 spells them (both bytes),
// with the backslash itself doubled, so a sender cannot move the cursor or
// retitle the terminal through our output.
std::string Printable(std::string_view text) {
  std::string out;
  const auto escape = [&](unsigned char byte) {
    char escaped[8];
    std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
    out += escaped;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (c < 0x20 || c == 0x7F) {
      escape(c);
    } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
      escape(c);
      escape(next);
      ++i;
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
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

#if !defined(_WIN32)
  // Ending on a signal goes through the normal exit, so the window leaves
  // the station.
  struct sigaction action {};
  action.sa_handler = [](int) { stopRequested = 1; };
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
#endif

  PrintLinesAsTheyAre();
  long handled = 0;
  platform::TopLevelWindow window([&](UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message == WM_WININICHANGE) {
      const char* section = reinterpret_cast<const char*>(lParam);
      std::printf("WM_WININICHANGE %s\n", Printable(section != nullptr ? section : "").c_str());
    } else {
      std::printf("0x%x %lu\n", message, static_cast<unsigned long>(wParam));
    }
    std::fflush(stdout);
    ++handled;
    if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    return 0;
  });
  if (!window.ReachableByOtherPrograms()) {
    std::fprintf(stderr, "winwatch: %s\n", window.UnreachableBecause().c_str());
    return 1;
  }
  std::puts("ready");
  std::fflush(stdout);

  while (!stopRequested && (count < 0 || handled < count)) {
    if (hang) {
      // The window exists and hears nothing: its messages wait for ever.
      NeverAnswer();
      continue;
    }
    window.PumpMessage(std::chrono::milliseconds(200));
  }
  return 0;
}
