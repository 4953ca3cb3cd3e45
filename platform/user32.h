#pragma once
// user32's messaging: SendMessageA, and top-level windows that receive it.

#include <functional>

#include "platform/winapi.h"

// Every top-level window.
inline HWND const HWND_BROADCAST = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0xFFFF));

// Sent when a section of the user profile has changed; lParam points to the
// NUL-terminated ANSI name of the section.
inline constexpr UINT WM_WININICHANGE = 0x001A;

extern "C" {

// Sends `Msg` to window `hWnd` and returns its handler's result once it has
// handled it. With HWND_BROADCAST, every top-level window gets the message
// and the call returns only after all of them have handled it.
DEFPRINTER_IMPORT LRESULT DEFPRINTER_WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam,
                                                         LPARAM lParam);

}  // extern "C"

namespace platform {

// Handles one message sent to a window and returns the result for the
// sender.
using WindowProcedure = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;

// A top-level window of this process, reached by SendMessageA for as long
// as the object lives. Messages are handled on the thread that sends them.
class TopLevelWindow {
 public:
  explicit TopLevelWindow(WindowProcedure procedure);
  ~TopLevelWindow();
  TopLevelWindow(const TopLevelWindow&) = delete;
  TopLevelWindow& operator=(const TopLevelWindow&) = delete;

  HWND Handle() const { return handle_; }

 private:
  HWND handle_;
};

}  // namespace platform
