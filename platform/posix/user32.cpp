// user32's messaging on Linux: windows of this process are called directly,
// windows of other programs through the user's window station.

#include "platform/user32.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/posix/message_frame.h"
#include "platform/posix/station_broadcast.h"
#include "platform/posix/window_station.h"

namespace platform {

using posix::MessageRequest;
using posix::UniqueFd;
using posix::WindowStation;

struct TopLevelWindow::Endpoint {
  Endpoint(WindowStation station, UniqueFd listener, std::string name)
      : station(std::move(station)), listener(std::move(listener)), name(std::move(name)) {}

  WindowStation station;
  UniqueFd listener;
  std::string name;

  ~Endpoint() {
    listener.reset();
    station.RemoveSocket(name);
  }
};

namespace {

// How long a window owner waits for the message of a program that has
// connected to it.
constexpr int kRequestWaitMs = 1000;

// The top-level windows of this process, by handle.
class WindowTable {
 public:
  HWND Add(std::shared_ptr<WindowProcedure> procedure, const std::string& stationName) {
    std::lock_guard lock(mutex_);
    // Handles are even numbers above HWND_BROADCAST, never reused.
    nextHandle_ += 2;
    const HWND handle = reinterpret_cast<HWND>(nextHandle_);
    windows_.emplace(handle, Entry{std::move(procedure), stationName});
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
      for (const auto& [_, entry] : windows_) targets.push_back(entry.procedure);
    } else if (const auto it = windows_.find(handle); it != windows_.end()) {
      targets.push_back(it->second.procedure);
    }
    return targets;
  }

  // The station names of this process's windows.
  std::set<std::string> StationNames() const {
    std::lock_guard lock(mutex_);
    std::set<std::string> names;
    for (const auto& [_, entry] : windows_) {
      if (!entry.stationName.empty()) names.insert(entry.stationName);
    }
    return names;
  }

 private:
  struct Entry {
    std::shared_ptr<WindowProcedure> procedure;
    std::string stationName;
  };

  mutable std::mutex mutex_;
  std::uintptr_t nextHandle_ = 0x10000;
  std::map<HWND, Entry> windows_;
};

WindowTable& Windows() {
  static WindowTable table;
  return table;
}

bool WaitReadable(int fd, int timeoutMs) {
  pollfd entry{fd, POLLIN, 0};
  for (;;) {
    const int ready = ::poll(&entry, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0 && (entry.revents & POLLIN);
  }
}

}  // namespace

TopLevelWindow::TopLevelWindow(WindowProcedure procedure)
    : procedure_(std::make_shared<WindowProcedure>(std::move(procedure))) {
  if (auto station = WindowStation::Open(&unreachableBecause_)) {
    UniqueFd listener;
    std::string name;
    if (const int error = station->CreateWindowSocket(&listener, &name); error == 0) {
      endpoint_ =
          std::make_unique<Endpoint>(std::move(*station), std::move(listener), std::move(name));
    } else {
      unreachableBecause_ = "the window station " + posix::WindowStationPath() +
                            " cannot take a window: " + std::strerror(error);
    }
  }
  handle_ = Windows().Add(procedure_, endpoint_ ? endpoint_->name : std::string());
}

TopLevelWindow::~TopLevelWindow() { Windows().Remove(handle_); }

bool TopLevelWindow::ReachableByOtherPrograms() const { return endpoint_ != nullptr; }

const std::string& TopLevelWindow::UnreachableBecause() const { return unreachableBecause_; }

bool TopLevelWindow::PumpMessage(std::chrono::milliseconds timeout) {
  const int wait = timeout.count() < 0 ? -1 : static_cast<int>(timeout.count());
  if (!endpoint_) {
    // Nothing can arrive: just wait out the time.
    ::poll(nullptr, 0, wait);
    return false;
  }
  if (!WaitReadable(endpoint_->listener.get(), wait)) return false;
  UniqueFd connection(
      ::accept4(endpoint_->listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
  if (!connection.valid()) return false;
  // A program of another user is not believed.
  if (posix::PeerUid(connection.get()) != geteuid()) return false;
  if (!WaitReadable(connection.get(), kRequestWaitMs)) return false;

  std::string frame(posix::kMaxRequestSize + 1, '\0');
  const ssize_t got = ::recv(connection.get(), frame.data(), frame.size(), MSG_TRUNC);
  if (got < 0 || static_cast<std::size_t>(got) > posix::kMaxRequestSize) return false;
  frame.resize(static_cast<std::size_t>(got));
  const std::optional<MessageRequest> request = posix::DecodeRequest(frame);
  if (!request) return false;

  // An address from another program means nothing here. WM_WININICHANGE
  // names its section by pointer, so it is taken only with the text that
  // travelled with it (or with none at all), its lParam then pointing to our
  // copy; one that carries a bare address is dropped unanswered.
  if (request->message == WM_WININICHANGE && !request->text && request->lParam != 0) {
    return false;
  }
  const LPARAM lParam = request->text ? reinterpret_cast<LPARAM>(request->text->c_str())
                                      : static_cast<LPARAM>(request->lParam);
  const LRESULT result =
      (*procedure_)(request->message, static_cast<WPARAM>(request->wParam), lParam);
  const std::string answer = posix::EncodeAnswer(result);
  ::send(connection.get(), answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  return true;
}

}  // namespace platform

extern "C" LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (hWnd != HWND_BROADCAST) {
    LRESULT result = 0;
    for (const auto& procedure : platform::Windows().Targets(hWnd)) {
      result = (*procedure)(Msg, wParam, lParam);
    }
    return result;
  }

  // Other programs' windows first, so they work while ours do.
  platform::posix::MessageRequest request;
  request.message = Msg;
  request.wParam = wParam;
  request.lParam = static_cast<std::uint64_t>(lParam);
  if (Msg == WM_WININICHANGE && lParam != 0) {
    const char* text = reinterpret_cast<const char*>(lParam);
    request.text = std::string(text, ::strnlen(text, platform::posix::kMaxText));
  }
  platform::posix::StationBroadcast others(request, platform::Windows().StationNames());
  for (const auto& procedure : platform::Windows().Targets(HWND_BROADCAST)) {
    (*procedure)(Msg, wParam, lParam);
  }
  others.Wait();
  // A broadcast reports no single window's answer.
  return 0;
}

namespace platform {

// The station broadcast is bounded by kBroadcastTimeout already.
LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return ::SendMessageA(hWnd, Msg, wParam, lParam);
}

}  // namespace platform
