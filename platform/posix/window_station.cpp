#include "platform/posix/window_station.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

namespace platform::posix {

std::string WindowStationPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return std::string(runtime) + "/winstation";
  return "/tmp/winstation-" + std::to_string(geteuid());
}

std::optional<WindowStation> WindowStation::Open(std::string* problem) {
  const std::string path = WindowStationPath();
  const auto refuse = [&](const std::string& why) -> std::optional<WindowStation> {
    if (problem != nullptr) {
      *problem = "the window station " + path + " cannot be used: " + why +
                 "; remove it (or have its owner remove it), or set XDG_RUNTIME_DIR to a "
                 "folder of your own";
    }
    return std::nullopt;
  };
  const bool made = ::mkdir(path.c_str(), 0700) == 0;
  const int mkdirError = made ? 0 : errno;
  UniqueFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!folder.valid()) {
    const int error = errno;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return refuse("it is a link");
    if (error == ENOTDIR) return refuse("it is not a folder");
    return refuse(std::strerror(mkdirError != 0 && mkdirError != EEXIST ? mkdirError : error));
  }
  // The umask may have taken bits from a folder just made.
  if (made) ::fchmod(folder.get(), 0700);
  struct stat st {};
  if (::fstat(folder.get(), &st) != 0) return refuse(std::strerror(errno));
  if (st.st_uid != geteuid()) {
    return refuse("it belongs to user id " + std::to_string(st.st_uid) + ", not to you (" +
                  std::to_string(geteuid()) + ")");
  }
  if ((st.st_mode & 07777) != 0700) {
    char mode[8];
    std::snprintf(mode, sizeof(mode), "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return refuse(std::string("it is open to others (mode ") + mode + ", not 0700)");
  }
  return WindowStation(std::move(folder));
}

bool WindowStation::Address(const std::string& name, sockaddr_un* address) const {
  *address = sockaddr_un{};
  address->sun_family = AF_UNIX;
  const int length = std::snprintf(address->sun_path, sizeof(address->sun_path),
                                   "/proc/self/fd/%d/%s", folder_.get(), name.c_str());
  return length > 0 && static_cast<std::size_t>(length) < sizeof(address->sun_path);
}

std::vector<std::string> WindowStation::WindowNames() const {
  std::vector<std::string> names;
  UniqueFd copy(::openat(folder_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!copy.valid()) return names;
  const std::unique_ptr<DIR, int (*)(DIR*)> listing(::fdopendir(copy.get()), &::closedir);
  if (!listing) return names;
  copy.release();  // closedir closes it now
  while (const dirent* entry = ::readdir(listing.get())) {
    if (entry->d_name[0] != 'w' || entry->d_name[1] != '-') continue;
    if (entry->d_type != DT_SOCK && entry->d_type != DT_UNKNOWN) continue;
    names.emplace_back(entry->d_name);
  }
  return names;
}

int WindowStation::CreateWindowSocket(UniqueFd* listener, std::string* name) const {
  static std::atomic<unsigned> serial{0};
  std::random_device random;
  char buffer[96];
  std::snprintf(buffer, sizeof(buffer), "w-%ld-%u-%08x%08x", static_cast<long>(::getpid()),
                serial.fetch_add(1), random(), random());
  const std::string finalName = buffer;
  const std::string pendingName = "." + finalName;

  UniqueFd socket(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!socket.valid()) return errno;
  sockaddr_un address{};
  if (!Address(pendingName, &address)) return ENAMETOOLONG;
  if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    return errno;
  }
  if (::listen(socket.get(), SOMAXCONN) != 0 ||
      ::renameat(folder_.get(), pendingName.c_str(), folder_.get(), finalName.c_str()) != 0) {
    const int error = errno;
    ::unlinkat(folder_.get(), pendingName.c_str(), 0);
    return error;
  }
  *listener = std::move(socket);
  *name = finalName;
  return 0;
}

void WindowStation::RemoveSocket(const std::string& name) const {
  struct stat st {};
  if (::fstatat(folder_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISSOCK(st.st_mode)) {
    ::unlinkat(folder_.get(), name.c_str(), 0);
  }
}

std::optional<uid_t> PeerUid(int fd) {
  ucred credentials{};
  socklen_t length = sizeof(credentials);
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
      length != sizeof(credentials)) {
    return std::nullopt;
  }
  return credentials.uid;
}

}  // namespace platform::posix
