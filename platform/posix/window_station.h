#pragma once
// The window station: the folder where every top-level window of this
// user's programs is a Unix-domain socket, so that a broadcast can reach
// windows of other programs.
//
// The station is $XDG_RUNTIME_DIR/winstation/, or /tmp/winstation-<uid>/
// where XDG_RUNTIME_DIR is unset. It is made with mode 0700 when absent. A
// station that is a link, not a folder, not owned by this user or open to
// anyone else is refused and left alone: nothing in it is used or removed.
// A window's socket is named "w-<pid>-<serial>-<random>", bound under a
// hidden name and renamed into place only once it listens, so every visible
// socket either has a listener or has lost its owner.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/posix/unique_fd.h"

struct sockaddr_un;

namespace platform::posix {

// The folder the station lives in, as the environment names it.
std::string WindowStationPath();

class WindowStation {
 public:
  // Opens this user's station, making it when absent; nullopt when the
  // station is refused or cannot be made, with the reason in `problem`
  // when given: the folder, what is wrong with it, and what the user can do.
  static std::optional<WindowStation> Open(std::string* problem = nullptr);

  // The names of the window sockets now in the station.
  std::vector<std::string> WindowNames() const;

  // Makes a listening socket for a new window and puts it in the station.
  // Returns 0 or an errno value.
  int CreateWindowSocket(UniqueFd* listener, std::string* name) const;

  // Removes the window socket `name`, if it is still a socket.
  void RemoveSocket(const std::string& name) const;

  // The address of station entry `name`, reached through the open folder so
  // that neither a long path nor a folder swapped in since can mislead it.
  bool Address(const std::string& name, sockaddr_un* address) const;

 private:
  explicit WindowStation(UniqueFd folder) : folder_(std::move(folder)) {}

  UniqueFd folder_;
};

// The user id of the process at the other end of connected socket `fd`, as
// the kernel vouches for it.
std::optional<uid_t> PeerUid(int fd);

}  // namespace platform::posix
