#pragma once
// user32's messaging: SendMessageA, and top-level windows that receive it.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

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

// How long a broadcast waits, in all, for windows that have not answered.
inline constexpr std::chrono::milliseconds kBroadcastTimeout{5000};

// SendMessageA as the routines above the platform call it. To one window:
// the message is handled and its result returned. With HWND_BROADCAST,
// every top-level window gets the message, all at once, and the call
// returns once each has handled it; a window that has not answered within
// kBroadcastTimeout of the start is given up on, so hung programs together
// cost one bound, not one each. A broadcast returns 0.
LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// Handles one message sent to a window and returns the result for the
// sender.
using WindowProcedure = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;

// A top-level window, reached by SendMessageA for as long as the object
// lives. A message sent from this process is handled at once, on the
// sending thread. Where the user's window station can be used, the window
// is also reachable by other programs of the same user: their messages wait
// until the window's owner handles them with PumpMessage, as messages to a
// real window wait for its message loop.
class TopLevelWindow {
 public:
  explicit TopLevelWindow(WindowProcedure procedure);
  // Takes the window out of the station, so no program waits on it again.
  ~TopLevelWindow();
  TopLevelWindow(const TopLevelWindow&) = delete;
  TopLevelWindow& operator=(const TopLevelWindow&) = delete;

  HWND Handle() const { return handle_; }

  // True when other programs can send to this window.
  bool ReachableByOtherPrograms() const;

  // When they cannot: why, in words a person can act on (which folder, what
  // is wrong with it, what to do). Empty when they can.
  const std::string& UnreachableBecause() const;

  // The message loop's step: waits up to `timeout` (forever when negative)
  // for a message from another program, hands it to the window procedure
  // and answers with its result. Returns true when a message was handled;
  // false on timeout, or when what arrived was not a message from a program
  // of this user (it is dropped unanswered). The lParam of another
  // program's message is a number, never an address in this process, but
  // for WM_WININICHANGE: its lParam points to the section name that came
  // with it, or is 0; one that came with an address and no name is dropped.
  bool PumpMessage(std::chrono::milliseconds timeout);

 private:
  struct Endpoint;

  HWND handle_;
  std::shared_ptr<WindowProcedure> procedure_;
  std::unique_ptr<Endpoint> endpoint_;
  std::string unreachableBecause_;
};

}  // namespace platform
