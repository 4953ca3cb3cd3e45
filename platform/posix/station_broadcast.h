#pragma once
// Sending one message to every window in the window station at once.

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "platform/posix/message_frame.h"
#include "platform/user32.h"
#include "platform/posix/unique_fd.h"
#include "platform/posix/window_station.h"

namespace platform::posix {

// How long a broadcast waits, in all, for the windows that have not answered.
inline constexpr std::chrono::milliseconds kAnswerTimeout = kBroadcastTimeout;

// One broadcast to the windows of the station, but for those named in
// `skip` (this process's own, which get the message directly). Construction
// connects to every window and sends; Wait collects the answers. Both use
// non-blocking sockets only, so one slow or hostile window never holds up
// the others:
//  - a socket with no listener behind it is removed from the station;
//  - a window owned by another user is neither sent to nor believed;
//  - a window that has not answered, or answered with a malformed frame,
//    by the deadline is given up on;
//  - with more windows than the process may hold sockets, each window gets
//    a turn of its share of the time, so every window is sent to before the
//    deadline however many of the others hang.
class StationBroadcast {
 public:
  StationBroadcast(const MessageRequest& request, const std::set<std::string>& skip,
                   std::chrono::milliseconds timeout = kAnswerTimeout);
  ~StationBroadcast() = default;
  StationBroadcast(const StationBroadcast&) = delete;
  StationBroadcast& operator=(const StationBroadcast&) = delete;

  // Returns once every window has answered or been given up on.
  void Wait();

  // What the last Wait saw, for tests and benchmarks.
  int answered() const { return answered_; }
  int givenUp() const { return givenUp_; }

 private:
  enum class State { Connect, Send, Answer, Done };
  struct Peer {
    std::string name;
    UniqueFd socket;
    State state = State::Connect;
    std::chrono::steady_clock::time_point deadline;  // the end of its turn
  };

  void Connect(Peer& peer);
  void Send(Peer& peer);
  void Receive(Peer& peer);
  void Finish(Peer& peer, bool answered);
  void StartMore();

  std::optional<WindowStation> station_;
  std::string frame_;
  std::chrono::steady_clock::time_point deadline_;
  std::vector<Peer> peers_;
  std::size_t nextToStart_ = 0;
  std::size_t open_ = 0;
  std::size_t maxOpen_ = 0;
  std::chrono::milliseconds turn_{0};
  int answered_ = 0;
  int givenUp_ = 0;
};

}  // namespace platform::posix
