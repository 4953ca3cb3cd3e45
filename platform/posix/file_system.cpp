#include "platform/posix/file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

namespace platform::posix {
namespace {

int Errno() { return errno != 0 ? errno : EIO; }

class PosixFileSystem final : public FileSystem {
 public:
  int CreateDirectories(const std::string& path, mode_t mode) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT) return Errno();
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
      if (const int error = CreateDirectories(path.substr(0, slash), mode); error != 0) {
        return error;
      }
    }
    if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) return Errno();
    return 0;
  }

  int OpenDirectory(const std::string& path, UniqueFd* directory) override {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return Errno();
    directory->reset(fd);
    return 0;
  }

  int LockExclusive(int directory) override {
    while (::flock(directory, LOCK_EX) != 0) {
      if (errno != EINTR) return Errno();
    }
    return 0;
  }

  int ResolveLinks(const std::string& path, std::string* target) override {
    const std::unique_ptr<char, void (*)(void*)> resolved(::realpath(path.c_str(), nullptr),
                                                           &std::free);
    if (!resolved) return Errno();
    *target = resolved.get();
    return 0;
  }

  int OpenForRead(const std::string& path, UniqueFd* file) override {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Errno();
    file->reset(fd);
    return 0;
  }

  int Stat(int file, FileInfo* info) override {
    struct stat st {};
    if (::fstat(file, &st) != 0) return Errno();
    info->regular = S_ISREG(st.st_mode);
    info->mode = st.st_mode & 07777;
    info->size = st.st_size;
    return 0;
  }

  int Read(int file, char* buffer, std::size_t size, std::size_t* got) override {
    std::size_t done = 0;
    while (done < size) {
      const ssize_t part = ::read(file, buffer + done, size - done);
      if (part < 0) {
        if (errno == EINTR) continue;
        return Errno();
      }
      if (part == 0) break;
      done += static_cast<std::size_t>(part);
    }
    *got = done;
    return 0;
  }

  int CreateExclusive(const std::string& path, mode_t mode, UniqueFd* file) override {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return Errno();
    file->reset(fd);
    // The umask may have taken bits away.
    if (::fchmod(fd, mode) != 0) return Errno();
    return 0;
  }

  int Write(int file, std::string_view bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t put = ::write(file, bytes.data() + done, bytes.size() - done);
      if (put < 0) {
        if (errno == EINTR) continue;
        return Errno();
      }
      done += static_cast<std::size_t>(put);
    }
    return 0;
  }

  int Sync(int file) override { return ::fsync(file) == 0 ? 0 : Errno(); }

  int Close(UniqueFd& file) override {
    // close() releases the descriptor even when it reports an error.
    return ::close(file.release()) == 0 ? 0 : Errno();
  }

  int Rename(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : Errno();
  }

  int Remove(const std::string& path) override {
    return ::unlink(path.c_str()) == 0 ? 0 : Errno();
  }

  int SyncDirectory(int directory) override { return ::fsync(directory) == 0 ? 0 : Errno(); }
};

}  // namespace

FileSystem& DefaultFileSystem() {
  static PosixFileSystem fileSystem;
  return fileSystem;
}

}  // namespace platform::posix
