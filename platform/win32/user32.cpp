// user32's messaging on Windows: a broadcast that every answering window
// hears and no hung one can hold, and top-level windows with a real window
// class and message loop.

#include "platform/user32.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/winapi.h"

namespace {

using HANDLE = void*;
using WNDPROC = LRESULT(DEFPRINTER_WINAPI*)(HWND, UINT, WPARAM, LPARAM);
using WNDENUMPROC = BOOL(DEFPRINTER_WINAPI*)(HWND, LPARAM);
using THREADPROC = DWORD(DEFPRINTER_WINAPI*)(void*);

struct WNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  void* hIcon;
  void* hCursor;
  void* hbrBackground;
  const char* lpszMenuName;
  const char* lpszClassName;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  long x;
  long y;
  DWORD lPrivate;
};

}  // namespace

extern "C" {
DEFPRINTER_IMPORT BOOL DEFPRINTER_WINAPI EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam);
DEFPRINTER_IMPORT LRESULT DEFPRINTER_WINAPI SendMessageTimeoutA(HWND hWnd, UINT Msg, WPARAM wParam,
                                                                LPARAM lParam, UINT fuFlags,
                                                                UINT uTimeout,
                                                                std::uintptr_t* lpdwResult);
DEFPRINTER_IMPORT HANDLE DEFPRINTER_WINAPI CreateThread(void* lpThreadAttributes,
                                                        std::size_t dwStackSize,
                                                        THREADPROC lpStartAddress,
                                                        void* lpParameter, DWORD dwCreationFlags,
                                                        DWORD* lpThreadId);
DEFPRINTER_IMPORT DWORD DEFPRINTER_WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
DEFPRINTER_IMPORT BOOL DEFPRINTER_WINAPI CloseHandle(HANDLE hObject);
DEFPRINTER_IMPORT DWORD DEFPRINTER_WINAPI GetLastError(void);
DEFPRINTER_IMPORT HINSTANCE DEFPRINTER_WINAPI GetModuleHandleA(const char* lpModuleName);
DEFPRINTER_IMPORT std::uint16_t DEFPRINTER_WINAPI RegisterClassA(const WNDCLASSA* lpWndClass);
DEFPRINTER_IMPORT HWND DEFPRINTER_WINAPI CreateWindowExA(DWORD dwExStyle, const char* lpClassName,
                                                         const char* lpWindowName, DWORD dwStyle,
                                                         int X, int Y, int nWidth, int nHeight,
                                                         HWND hWndParent, void* hMenu,
                                                         HINSTANCE hInstance, void* lpParam);
DEFPRINTER_IMPORT BOOL DEFPRINTER_WINAPI DestroyWindow(HWND hWnd);
DEFPRINTER_IMPORT LRESULT DEFPRINTER_WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam,
                                                           LPARAM lParam);
DEFPRINTER_IMPORT BOOL DEFPRINTER_WINAPI PeekMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin,
                                                      UINT wMsgFilterMax, UINT wRemoveMsg);
DEFPRINTER_IMPORT LRESULT DEFPRINTER_WINAPI DispatchMessageA(const MSG* lpMsg);
DEFPRINTER_IMPORT DWORD DEFPRINTER_WINAPI MsgWaitForMultipleObjects(
    DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll, DWORD dwMilliseconds, DWORD dwWakeMask);
}

namespace platform {
namespace {

constexpr UINT kSmtoAbortIfHung = 0x0002;          // SMTO_ABORTIFHUNG
constexpr DWORD kStackIsReservation = 0x00010000;  // STACK_SIZE_PARAM_IS_A_RESERVATION
constexpr std::size_t kSenderStack = 64 * 1024;    // a sender needs little
constexpr DWORD kWaitObject0 = 0;                  // WAIT_OBJECT_0
constexpr DWORD kInfinite = 0xFFFFFFFF;            // INFINITE
constexpr UINT kPmRemove = 0x0001;                 // PM_REMOVE
constexpr DWORD kQsAllInput = 0x04FF;              // QS_ALLINPUT
constexpr UINT kWmUser = 0x0400;                   // WM_USER
// Each sender gives up on its window at the deadline by itself; the
// broadcast waits this much longer for the senders to notice before it
// returns without them.
constexpr std::chrono::milliseconds kSenderSlack{1000};

// A thread handle, closed when the object goes.
class ThreadHandle {
 public:
  explicit ThreadHandle(HANDLE handle) : handle_(handle) {}
  ~ThreadHandle() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  ThreadHandle(ThreadHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  ThreadHandle(const ThreadHandle&) = delete;
  ThreadHandle& operator=(const ThreadHandle&) = delete;
  ThreadHandle& operator=(ThreadHandle&&) = delete;

  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// One window's share of a broadcast: the message, and the window to send
// it to within `timeoutMs`.
struct Delivery {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  UINT timeoutMs;
};

DWORD DEFPRINTER_WINAPI Deliver(void* parameter) {
  const auto* delivery = static_cast<const Delivery*>(parameter);
  std::uintptr_t result = 0;
  // A window that has not pumped messages for a while is known to hang and
  // is skipped at once; any other gets until the deadline to answer.
  SendMessageTimeoutA(delivery->window, delivery->message, delivery->wParam, delivery->lParam,
                      kSmtoAbortIfHung, delivery->timeoutMs, &result);
  return 0;
}

BOOL DEFPRINTER_WINAPI CollectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return 1;
}

// Sends to every top-level window at once, each on a thread of its own,
// so that a hung window costs its own thread's wait only: all of them
// together wait one bound. Windows to which no thread can be started are
// sent to from this one, with what is left of the time.
void Broadcast(UINT message, WPARAM wParam, LPARAM lParam) {
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + kBroadcastTimeout;
  std::vector<HWND> windows;
  EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&windows));

  // Kept alive for as long as a sender may still read its delivery.
  auto deliveries = std::make_shared<std::vector<Delivery>>();
  deliveries->reserve(windows.size());
  for (const HWND window : windows) {
    deliveries->push_back(
        {window, message, wParam, lParam, static_cast<UINT>(kBroadcastTimeout.count())});
  }
  std::vector<ThreadHandle> senders;
  senders.reserve(windows.size());
  for (Delivery& delivery : *deliveries) {
    HANDLE thread =
        CreateThread(nullptr, kSenderStack, &Deliver, &delivery, kStackIsReservation, nullptr);
    if (thread != nullptr) {
      senders.emplace_back(thread);
      continue;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) continue;
    delivery.timeoutMs = static_cast<UINT>(left.count());
    Deliver(&delivery);
  }

  bool allDone = true;
  for (const ThreadHandle& sender : senders) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        deadline + kSenderSlack - std::chrono::steady_clock::now());
    const DWORD wait = left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
    if (WaitForSingleObject(sender.get(), wait) != kWaitObject0) allDone = false;
  }
  // A sender still inside the system's send keeps its delivery: the
  // deliveries outlive this call then, as the process's own, never freed.
  if (!allDone) {
    static std::mutex mutex;
    static std::vector<std::shared_ptr<std::vector<Delivery>>> stragglers;
    std::lock_guard lock(mutex);
    stragglers.push_back(std::move(deliveries));
  }
}

// The procedures of this process's windows, by handle.
std::mutex windowsMutex;
std::map<HWND, std::shared_ptr<WindowProcedure>>& Procedures() {
  static std::map<HWND, std::shared_ptr<WindowProcedure>> procedures;
  return procedures;
}

thread_local int handledHere = 0;

LRESULT DEFPRINTER_WINAPI WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // The system's own messages (creating, sizing, activating...) are the
  // system's to handle; the window's procedure sees the change notice and
  // messages of programs (WM_USER and above).
  if (message == WM_WININICHANGE || message >= kWmUser) {
    std::shared_ptr<WindowProcedure> procedure;
    {
      std::lock_guard lock(windowsMutex);
      const auto it = Procedures().find(window);
      if (it != Procedures().end()) procedure = it->second;
    }
    if (procedure) {
      ++handledHere;
      return (*procedure)(message, wParam, lParam);
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

const char* WindowClass() {
  static const char* const name = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "DefprinterTopLevelWindow";
    RegisterClassA(&windowClass);
    return windowClass.lpszClassName;
  }();
  return name;
}

}  // namespace

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (hWnd != HWND_BROADCAST) return ::SendMessageA(hWnd, Msg, wParam, lParam);
  Broadcast(Msg, wParam, lParam);
  return 0;
}

struct TopLevelWindow::Endpoint {};

TopLevelWindow::TopLevelWindow(WindowProcedure procedure)
    : procedure_(std::make_shared<WindowProcedure>(std::move(procedure))) {
  // Never shown: a top-level window that is not visible still hears every
  // broadcast.
  handle_ = CreateWindowExA(0, WindowClass(), "", 0, 0, 0, 0, 0, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
  if (handle_ == nullptr) {
    unreachableBecause_ = "the window cannot be made: error " + std::to_string(GetLastError());
    return;
  }
  endpoint_ = std::make_unique<Endpoint>();
  std::lock_guard lock(windowsMutex);
  Procedures()[handle_] = procedure_;
}

TopLevelWindow::~TopLevelWindow() {
  if (handle_ == nullptr) return;
  {
    std::lock_guard lock(windowsMutex);
    Procedures().erase(handle_);
  }
  DestroyWindow(handle_);
}

bool TopLevelWindow::ReachableByOtherPrograms() const { return endpoint_ != nullptr; }

const std::string& TopLevelWindow::UnreachableBecause() const { return unreachableBecause_; }

bool TopLevelWindow::PumpMessage(std::chrono::milliseconds timeout) {
  const int before = handledHere;
  const DWORD wait = timeout.count() < 0 ? kInfinite : static_cast<DWORD>(timeout.count());
  MsgWaitForMultipleObjects(0, nullptr, 0, wait, kQsAllInput);
  // Messages other threads and programs send are handled inside
  // PeekMessageA; posted ones are dispatched here.
  MSG message{};
  while (PeekMessageA(&message, nullptr, 0, 0, kPmRemove) != 0) DispatchMessageA(&message);
  return handledHere != before;
}

}  // namespace platform
