#include "platform/posix/station_broadcast.h"

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform::posix {
namespace {

// Descriptors kept free for everything else the process does.
constexpr std::size_t kSpareDescriptors = 64;
// How often a window whose queue was full is tried again.
constexpr int kRetryMs = 5;

// How many sockets a broadcast may hold open at once. The soft limit on
// descriptors is raised to the hard one first: a broadcast to many windows
// is what the hard limit is there for.
std::size_t DescriptorBudget() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 16;
  if (limit.rlim_cur != limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur == RLIM_INFINITY) return 1 << 20;
  const auto current = static_cast<std::size_t>(limit.rlim_cur);
  return current > kSpareDescriptors + 16 ? current - kSpareDescriptors : 16;
}

}  // namespace

StationBroadcast::StationBroadcast(const MessageRequest& request,
                                   const std::set<std::string>& skip,
                                   std::chrono::milliseconds timeout)
    : station_(WindowStation::Open()),
      frame_(EncodeRequest(request)),
      deadline_(std::chrono::steady_clock::now() + timeout),
      maxOpen_(DescriptorBudget()) {
  if (!station_) return;
  for (std::string& name : station_->WindowNames()) {
    if (skip.count(name) == 0) {
      peers_.push_back(Peer{std::move(name), UniqueFd(), State::Connect, {}});
    }
  }
  // With more windows than sockets at once, each window is waited on for
  // its share of the time only, so that hung windows holding every socket
  // cannot keep the rest from their turn before the deadline.
  turn_ = timeout;
  if (peers_.size() > maxOpen_) {
    turn_ = std::chrono::milliseconds(timeout.count() * static_cast<long>(maxOpen_) /
                                      static_cast<long>(peers_.size()));
  }
  StartMore();
}

void StationBroadcast::StartMore() {
  while (nextToStart_ < peers_.size() && open_ < maxOpen_) {
    Peer& peer = peers_[nextToStart_++];
    ++open_;
    peer.deadline = std::min(deadline_, std::chrono::steady_clock::now() + turn_);
    Connect(peer);
  }
}

void StationBroadcast::Connect(Peer& peer) {
  sockaddr_un address{};
  peer.socket.reset(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!peer.socket.valid() || !station_->Address(peer.name, &address)) {
    Finish(peer, false);
    return;
  }
  if (::connect(peer.socket.get(), reinterpret_cast<const sockaddr*>(&address),
                sizeof(address)) != 0) {
    if (errno == EAGAIN) {
      // The window's queue is full: stay in Connect and try again shortly.
      peer.socket.reset();
      return;
    }
    if (errno == ECONNREFUSED) station_->RemoveSocket(peer.name);  // its owner is gone
    Finish(peer, false);
    return;
  }
  // Only a window of our own user is sent to.
  if (PeerUid(peer.socket.get()) != geteuid()) {
    Finish(peer, false);
    return;
  }
  peer.state = State::Send;
  Send(peer);
}

void StationBroadcast::Send(Peer& peer) {
  const ssize_t sent =
      ::send(peer.socket.get(), frame_.data(), frame_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (sent == static_cast<ssize_t>(frame_.size())) {
    peer.state = State::Answer;
  } else if (sent >= 0 || (errno != EAGAIN && errno != EINTR)) {
    Finish(peer, false);
  }
}

void StationBroadcast::Receive(Peer& peer) {
  char buffer[kAnswerSize + 1];
  const ssize_t got =
      ::recv(peer.socket.get(), buffer, sizeof(buffer), MSG_DONTWAIT | MSG_TRUNC);
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
  // Closed, failed, oversized or malformed: no answer.
  const bool answered = got == static_cast<ssize_t>(kAnswerSize) &&
                        DecodeAnswer(std::string_view(buffer, kAnswerSize)).has_value();
  Finish(peer, answered);
}

void StationBroadcast::Finish(Peer& peer, bool answered) {
  peer.socket.reset();
  peer.state = State::Done;
  --open_;
  if (answered) ++answered_;
}

void StationBroadcast::Wait() {
  std::vector<pollfd> fds;
  std::vector<Peer*> polled;
  for (;;) {
    StartMore();
    fds.clear();
    polled.clear();
    bool retrying = false;
    for (std::size_t i = 0; i < nextToStart_; ++i) {
      Peer& peer = peers_[i];
      if (peer.state == State::Connect) {
        retrying = true;
      } else if (peer.state != State::Done) {
        fds.push_back({peer.socket.get(),
                       static_cast<short>(peer.state == State::Send ? POLLOUT : POLLIN), 0});
        polled.push_back(&peer);
      }
    }
    if (fds.empty() && !retrying && nextToStart_ == peers_.size()) return;

    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline_) break;
    // Wait until the first open window's turn ends (rounded up, so a turn
    // is never cut a millisecond short).
    auto next = deadline_;
    for (std::size_t i = 0; i < nextToStart_; ++i) {
      if (peers_[i].state != State::Done) next = std::min(next, peers_[i].deadline);
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - now);
    const int wait = static_cast<int>(retrying ? std::min<long>(left.count(), kRetryMs)
                                               : left.count());
    if (::poll(fds.data(), fds.size(), wait) < 0 && errno != EINTR) break;

    for (std::size_t i = 0; i < fds.size(); ++i) {
      Peer& peer = *polled[i];
      if (fds[i].revents == 0) continue;
      if (peer.state == State::Send && (fds[i].revents & POLLOUT)) {
        Send(peer);
      } else if (peer.state == State::Answer && (fds[i].revents & POLLIN)) {
        Receive(peer);
      } else {
        Finish(peer, false);  // hung up or failed
      }
    }
    const auto after = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < nextToStart_; ++i) {
      Peer& peer = peers_[i];
      if (peer.state == State::Done) continue;
      if (after >= peer.deadline && after < deadline_) {
        // Its turn is over: its socket goes to a window still waiting.
        ++givenUp_;
        Finish(peer, false);
      } else if (peer.state == State::Connect) {
        Connect(peer);
      }
    }
  }
  // The deadline passed: whoever has not answered is given up on.
  for (Peer& peer : peers_) {
    if (peer.state != State::Done) {
      if (peer.socket.valid() || peer.state == State::Connect) ++givenUp_;
      peer.socket.reset();
      peer.state = State::Done;
    }
  }
  open_ = 0;
}

}  // namespace platform::posix
