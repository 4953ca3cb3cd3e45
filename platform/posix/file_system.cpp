#include "platform/posix/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
#include <memory>
#include <thread>

namespace platform::posix {
namespace {

int Errno() { return errno != 0 ? errno : EIO; }

// The mark a temporary file of ours carries, as an extended attribute.
constexpr const char* kMarkName = "user.defprinter";
constexpr const char kMarkValue[] = "temporary";

// More links than this on one path is a loop.
constexpr int kMaxLinks = 40;

std::string Join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// Splits `path` into its names, "." and empty ones left out.
void SplitNames(const std::string& path, std::deque<std::string>* names, bool atFront) {
  std::deque<std::string> parts;
  std::size_t at = 0;
  while (at <= path.size()) {
    const std::size_t slash = std::min(path.find('/', at), path.size());
    std::string name = path.substr(at, slash - at);
    if (!name.empty() && name != ".") parts.push_back(std::move(name));
    at = slash + 1;
  }
  if (atFront) {
    names->insert(names->begin(), parts.begin(), parts.end());
  } else {
    names->insert(names->end(), parts.begin(), parts.end());
  }
}

class PosixFileSystem final : public FileSystem {
 public:
  int CreateDirectories(const std::string& path, mode_t mode) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT) return Errno();
    const std::string parent = FolderOf(path);
    if (parent != path && parent != ".") {
      if (const int error = CreateDirectories(parent, mode); error != 0) return error;
    }
    if (::mkdir(path.c_str(), mode) != 0) return errno == EEXIST ? 0 : Errno();
    if (::geteuid() == 0) return GiveToParentsOwner(path, parent);
    return 0;
  }

  int OpenDirectory(const std::string& path, UniqueFd* directory) override {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return Errno();
    directory->reset(fd);
    return 0;
  }

  int OpenLockFile(const std::string& path, UniqueFd* file) override {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                       0600));
    if (!fd.valid()) return errno == ELOOP ? EINVAL : Errno();
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return Errno();
    if (!S_ISREG(st.st_mode)) return EINVAL;
    *file = std::move(fd);
    return 0;
  }

  int LockExclusive(int file, std::chrono::milliseconds timeout) override {
    // flock cannot wait a bounded time, so it is tried again and again, at
    // first often (a writer holds the lock for milliseconds), then less.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto pause = std::chrono::microseconds(200);
    for (;;) {
      if (::flock(file, LOCK_EX | LOCK_NB) == 0) return 0;
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) return Errno();
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return EWOULDBLOCK;
      std::this_thread::sleep_for(
          std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
      pause = std::min(pause * 2, std::chrono::microseconds(10000));
    }
  }

  int ResolveLinks(const std::string& path, std::string* target) override {
    std::string resolved;
    if (path.empty() || path.front() != '/') {
      const std::unique_ptr<char, void (*)(void*)> here(::getcwd(nullptr, 0), &std::free);
      if (!here) return Errno();
      resolved = here.get();
    } else {
      resolved = "/";
    }
    std::deque<std::string> names;
    SplitNames(path, &names, false);
    int links = 0;
    while (!names.empty()) {
      std::string name = std::move(names.front());
      names.pop_front();
      if (name == "..") {
        resolved = FolderOf(resolved);
        continue;
      }
      const std::string next = Join(resolved, name);
      struct stat st {};
      if (::lstat(next.c_str(), &st) != 0) {
        if (errno != ENOENT) return Errno();
        // What does not exist yet is kept as it is named.
        resolved = next;
        for (const std::string& rest : names) resolved = Join(resolved, rest);
        break;
      }
      if (!S_ISLNK(st.st_mode)) {
        resolved = next;
        continue;
      }
      if (st.st_uid != ::geteuid() && st.st_uid != 0) return EPERM;
      if (++links > kMaxLinks) return ELOOP;
      std::string content(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1,
                          '\0');
      const ssize_t length = ::readlink(next.c_str(), content.data(), content.size());
      if (length < 0) return Errno();
      if (static_cast<std::size_t>(length) >= content.size()) return ENAMETOOLONG;
      content.resize(static_cast<std::size_t>(length));
      if (!content.empty() && content.front() == '/') resolved = "/";
      SplitNames(content, &names, true);
      // A link that leads nowhere is not followed into a file made at its
      // far end.
      struct stat far {};
      if (::stat(next.c_str(), &far) != 0 && errno == ENOENT) return ELOOP;
    }
    *target = resolved;
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
    info->directory = S_ISDIR(st.st_mode);
    info->mode = st.st_mode & 07777;
    info->size = st.st_size;
    info->owner = st.st_uid;
    info->group = st.st_gid;
    info->links = st.st_nlink;
    info->device = st.st_dev;
    info->inode = st.st_ino;
    info->changed = st.st_ctim;
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
    // Where the file system keeps no marks, the name alone tells ours.
    ::fsetxattr(fd, kMarkName, kMarkValue, sizeof(kMarkValue) - 1, 0);
    // The umask may have taken bits away.
    if (::fchmod(fd, mode) != 0) return Errno();
    return 0;
  }

  int ChangeOwner(int file, uid_t owner, gid_t group) override {
    return ::fchown(file, owner, group) == 0 ? 0 : Errno();
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

  int ListNames(int directory, std::string_view prefix,
                std::vector<std::string>* names) override {
    UniqueFd copy(::openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!copy.valid()) return Errno();
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::fdopendir(copy.get()), &::closedir);
    if (!listing) return Errno();
    copy.release();  // closedir closes it now
    names->clear();
    while (const dirent* entry = ::readdir(listing.get())) {
      const std::string_view name = entry->d_name;
      if (name.substr(0, prefix.size()) == prefix) names->emplace_back(name);
    }
    return 0;
  }

  bool IsOurTemporary(const std::string& path, uid_t owner) override {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
        st.st_uid != owner) {
      return false;
    }
    // A writer killed between making the file and marking it left it
    // empty: removing an empty file loses nothing.
    if (st.st_size == 0) return true;
    char value[sizeof(kMarkValue)] = {};
    const ssize_t length = ::fgetxattr(fd.get(), kMarkName, value, sizeof(value));
    if (length < 0) return errno == ENOTSUP;
    return std::string_view(value, static_cast<std::size_t>(length)) == kMarkValue;
  }

 private:
  static int GiveToParentsOwner(const std::string& path, const std::string& parent) {
    struct stat above {};
    if (::stat(parent.c_str(), &above) != 0) return Errno();
    const UniqueFd made(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!made.valid()) return Errno();
    return ::fchown(made.get(), above.st_uid, above.st_gid) == 0 ? 0 : Errno();
  }
};

}  // namespace

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

FileSystem& DefaultFileSystem() {
  static PosixFileSystem fileSystem;
  return fileSystem;
}

}  // namespace platform::posix
