#pragma once
// Every file-system step the profile store takes, behind one small interface
// so that tests can make any single step fail.
//
// Each operation returns 0 on success or the errno value that describes the
// failure; a failed operation has no effect beyond what its comment states.

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/posix/unique_fd.h"

namespace platform::posix {

struct FileInfo {
  bool regular = false;  // a regular file (not a folder, FIFO, device...)
  mode_t mode = 0;       // permission bits
  off_t size = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Creates folder `path` and any missing parents with `mode`. An existing
  // folder is success; an existing file of another kind is ENOTDIR/EEXIST.
  virtual int CreateDirectories(const std::string& path, mode_t mode) = 0;

  // Opens folder `path` for locking and syncing. Does not follow a link.
  virtual int OpenDirectory(const std::string& path, UniqueFd* directory) = 0;

  // Blocks until this process holds the exclusive lock on open folder
  // `directory`; the lock is released when the descriptor is closed.
  virtual int LockExclusive(int directory) = 0;

  // Sets `target` to the absolute path `path` leads to once every link on
  // it is followed. ENOENT when `path` is absent or leads to nothing.
  virtual int ResolveLinks(const std::string& path, std::string* target) = 0;

  // Opens `path` for reading without following a link at its end and
  // without blocking on a FIFO; ENOENT when absent.
  virtual int OpenForRead(const std::string& path, UniqueFd* file) = 0;

  virtual int Stat(int file, FileInfo* info) = 0;

  // Reads up to `size` bytes into `buffer`, fewer only where the file ends
  // first; `*got` is how many.
  virtual int Read(int file, char* buffer, std::size_t size, std::size_t* got) = 0;

  // Creates `path` for writing, failing with EEXIST if anything, even a
  // dangling link, is already there. The file gets exactly `mode`.
  virtual int CreateExclusive(const std::string& path, mode_t mode, UniqueFd* file) = 0;

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
};

// The real file system of this machine.
FileSystem& DefaultFileSystem();

}  // namespace platform::posix
