// user32's messaging on Linux: this process's own top-level windows.

#include "platform/user32.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace platform {
namespace {

// The top-level windows of this process, by handle.
class WindowTable {
 public:
  HWND Add(WindowProcedure procedure) {
    std::lock_guard lock(mutex_);
    // Handles are even numbers above HWND_BROADCAST, never reused.
    nextHandle_ += 2;
    const HWND handle = reinterpret_cast<HWND>(nextHandle_);
    windows_.emplace(handle, std::make_shared<WindowProcedure>(std::move(procedure)));
    return handle;
  }

  void Remove(HWND handle) {
    std::lock_guard lock(mutex_);
    windows_.erase(handle);
  }

  // The procedures of `handle`, or of every window for HWND_BROADCAST, in
  // the order the windows were made. Copies, so a handler may make or
  // destroy windows while it runs.
  std::vector<std::shared_ptr<WindowProcedure>> Targets(HWND handle) const {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<WindowProcedure>> targets;
    if (handle == HWND_BROADCAST) {
      for (const auto& [_, procedure] : windows_) targets.push_back(procedure);
    } else if (const auto it = windows_.find(handle); it != windows_.end()) {
      targets.push_back(it->second);
    }
    return targets;
  }

 private:
  mutable std::mutex mutex_;
  std::uintptr_t nextHandle_ = 0x10000;
  std::map<HWND, std::shared_ptr<WindowProcedure>> windows_;
};

WindowTable& Windows() {
  static WindowTable table;
  return table;
}

}  // namespace

TopLevelWindow::TopLevelWindow(WindowProcedure procedure)
    : handle_(Windows().Add(std::move(procedure))) {}

TopLevelWindow::~TopLevelWindow() { Windows().Remove(handle_); }

}  // namespace platform

extern "C" LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  for (const auto& procedure : platform::Windows().Targets(hWnd)) {
    result = (*procedure)(Msg, wParam, lParam);
  }
  // A broadcast reports no single window's answer.
  return hWnd == HWND_BROADCAST ? 0 : result;
}
