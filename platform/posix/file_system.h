#pragma once
// Every file-system step the profile store takes, behind one small interface
// so that tests can make any step, or any set of steps, fail.
//
// Each operation returns 0 on success or the errno value that describes the
// failure; a failed operation has no effect beyond what its comment states.

#include <sys/types.h>
#include <time.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/unique_fd.h"

namespace platform::posix {

struct FileInfo {
  bool regular = false;    // a regular file (not a folder, FIFO, device...)
  bool directory = false;  // a folder
  mode_t mode = 0;         // permission bits
  off_t size = 0;
  uid_t owner = 0;
  gid_t group = 0;
  nlink_t links = 0;  // names the file has
  // Which file this is, and when it last changed in any way: the same
  // values mean the same, untouched file.
  dev_t device = 0;
  ino_t inode = 0;
  timespec changed{};

  bool SameUntouchedFile(const FileInfo& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
  }
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Creates folder `path` and any missing parents with `mode`. An existing
  // folder is success; an existing file of another kind is ENOTDIR/EEXIST.
  // When the caller is root, each folder it makes gets the owner and group
  // of the folder it is made in, so a user's profile folder made by root
  // running with that user's environment stays the user's.
  virtual int CreateDirectories(const std::string& path, mode_t mode) = 0;

  // Opens folder `path` for inspecting and syncing. Does not follow a link.
  virtual int OpenDirectory(const std::string& path, UniqueFd* directory) = 0;

  // Opens the lock file `path`, creating it with mode 0600 when absent.
  // Does not follow a link; anything but a regular file there is EINVAL.
  virtual int OpenLockFile(const std::string& path, UniqueFd* file) = 0;

  // Takes the exclusive lock on open file `file`, waiting at most `timeout`
  // for another holder to let it go: EWOULDBLOCK then. The lock is released
  // when the descriptor is closed.
  virtual int LockExclusive(int file, std::chrono::milliseconds timeout) = 0;

  // Sets `target` to the absolute path `path` leads to once every link on
  // it is followed; names past the first one that does not exist are kept
  // as they stand. EPERM when a link on the way is owned by neither this
  // user nor root (another user's link is never followed); ELOOP for a
  // link that leads nowhere or for too many links.
  virtual int ResolveLinks(const std::string& path, std::string* target) = 0;

  // Opens `path` for reading without following a link at its end and
  // without blocking on a FIFO; ENOENT when absent.
  virtual int OpenForRead(const std::string& path, UniqueFd* file) = 0;

  virtual int Stat(int file, FileInfo* info) = 0;

  // Reads up to `size` bytes into `buffer`, fewer only where the file ends
  // first; `*got` is how many.
  virtual int Read(int file, char* buffer, std::size_t size, std::size_t* got) = 0;

  // Creates `path` for writing, failing with EEXIST if anything, even a
  // dangling link, is already there. The file gets exactly `mode`, and the
  // mark of a temporary file of ours (see IsOurTemporary) where the file
  // system can keep it.
  virtual int CreateExclusive(const std::string& path, mode_t mode, UniqueFd* file) = 0;

  // Gives open file `file` the owner and group given.
  virtual int ChangeOwner(int file, uid_t owner, gid_t group) = 0;

  // Writes all of `bytes`, or fails.
  virtual int Write(int file, std::string_view bytes) = 0;

  // Flushes the file's data and metadata to the disk.
  virtual int Sync(int file) = 0;

  // Closes `file`, reporting the error a delayed write may surface there.
  virtual int Close(UniqueFd& file) = 0;

  // Atomically puts `from` in place of `to`.
  virtual int Rename(const std::string& from, const std::string& to) = 0;

  // Removes the name `path` (a link itself, never what it leads to).
  virtual int Remove(const std::string& path) = 0;

  // Flushes the folder's entries (a rename in it) to the disk.
  virtual int SyncDirectory(int directory) = 0;

  // The names in open folder `directory` that start with `prefix`.
  virtual int ListNames(int directory, std::string_view prefix,
                        std::vector<std::string>* names) = 0;

  // True when `path` is a file CreateExclusive made and nothing has changed
  // since: a regular file with one name, owned by `owner`, carrying the mark
  // (on a file system that keeps marks; elsewhere the name alone tells), or
  // still empty (a writer killed before it could mark it).
  virtual bool IsOurTemporary(const std::string& path, uid_t owner) = 0;
};

// The real file system of this machine.
FileSystem& DefaultFileSystem();

// The folder that holds `path`, by its name alone: "." for a bare name,
// "/" for a name in the root.
std::string FolderOf(const std::string& path);

// Passes every call on to another file system, so that a test overrides
// only the calls it cares about.
class FileSystemWrapper : public FileSystem {
 public:
  explicit FileSystemWrapper(FileSystem& target) : target_(target) {}
  FileSystem& target() const { return target_; }

  int CreateDirectories(const std::string& path, mode_t mode) override {
    return target_.CreateDirectories(path, mode);
  }
  int OpenDirectory(const std::string& path, UniqueFd* directory) override {
    return target_.OpenDirectory(path, directory);
  }
  int OpenLockFile(const std::string& path, UniqueFd* file) override {
    return target_.OpenLockFile(path, file);
  }
  int LockExclusive(int file, std::chrono::milliseconds timeout) override {
    return target_.LockExclusive(file, timeout);
  }
  int ResolveLinks(const std::string& path, std::string* target) override {
    return target_.ResolveLinks(path, target);
  }
  int OpenForRead(const std::string& path, UniqueFd* file) override {
    return target_.OpenForRead(path, file);
  }
  int Stat(int file, FileInfo* info) override { return target_.Stat(file, info); }
  int Read(int file, char* buffer, std::size_t size, std::size_t* got) override {
    return target_.Read(file, buffer, size, got);
  }
  int CreateExclusive(const std::string& path, mode_t mode, UniqueFd* file) override {
    return target_.CreateExclusive(path, mode, file);
  }
  int ChangeOwner(int file, uid_t owner, gid_t group) override {
    return target_.ChangeOwner(file, owner, group);
  }
  int Write(int file, std::string_view bytes) override { return target_.Write(file, bytes); }
  int Sync(int file) override { return target_.Sync(file); }
  int Close(UniqueFd& file) override { return target_.Close(file); }
  int Rename(const std::string& from, const std::string& to) override {
    return target_.Rename(from, to);
  }
  int Remove(const std::string& path) override { return target_.Remove(path); }
  int SyncDirectory(int directory) override { return target_.SyncDirectory(directory); }
  int ListNames(int directory, std::string_view prefix,
                std::vector<std::string>* names) override {
    return target_.ListNames(directory, prefix, names);
  }
  bool IsOurTemporary(const std::string& path, uid_t owner) override {
    return target_.IsOurTemporary(path, owner);
  }

 private:
  FileSystem& target_;
};

}  // namespace platform::posix
