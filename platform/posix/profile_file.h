#pragma once
// One profile file on disk: read whole, or changed all or nothing.

#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix/file_system.h"
#include "platform/posix/profile_document.h"
#include "platform/posix/status.h"

namespace platform::posix {

// A whole file's bytes, read into memory that is not cleared first: on a
// large profile, touching fresh memory twice costs more than the read.
class FileBytes {
 public:
  std::string_view view() const { return {data_.get(), size_}; }
  char* Allocate(std::size_t size) {
    data_ = std::make_unique_for_overwrite<char[]>(size);
    size_ = size;
    return data_.get();
  }
  void Shrink(std::size_t size) { size_ = std::min(size, size_); }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
};

class ProfileFile {
 public:
  // Larger files are refused, unread.
  static constexpr std::size_t kMaxBytes = 64u << 20;
  // The mode of a profile file that did not exist before, and of folders
  // made for it.
  static constexpr mode_t kNewFileMode = 0600;
  static constexpr mode_t kNewFolderMode = 0700;
  // How long a write waits for another writer to finish before it fails.
  static constexpr std::chrono::milliseconds kLockTimeout{5000};

  // `path` names the file. Links on the way to it are followed, so a link
  // to a regular file is read and replaced at the file it leads to; a link
  // owned by another user (not root) is refused.
  ProfileFile(std::string path, FileSystem& fileSystem)
      : path_(std::move(path)), fileSystem_(fileSystem) {}

  // The file's bytes, or none when it does not exist. On failure the step
  // and its errno value: EINVAL when the path is not a regular file, EFBIG
  // when the file is larger than kMaxBytes, EPERM when its folder is
  // refused (see Update).
  Status Read(FileBytes* bytes) const;

  struct UpdateResult {
    Status status;
    // The file now holds the edited bytes. True on success with a change,
    // and also when a late step failed and the change could not be undone:
    // the new bytes are in place, but whether they survive a crash is not
    // known.
    bool applied = false;
  };

  // Works out one edit of the file from its current bytes (empty when it
  // does not exist) and stores the result, all or nothing:
  //  - the file's folder must be this user's (any user's, for root) and
  //    writable by nobody else, or the call fails with EPERM;
  //  - a file without its owner's write bit is read-only: EACCES;
  //  - writers of the same file in every process take the lock file
  //    LockPathFor(target) for the whole read-modify-write, waiting at most
  //    kLockTimeout (EWOULDBLOCK); only users who may write the folder can
  //    make or open it;
  //  - a new file is written beside the old one under a name of ours
  //    (TemporaryPrefixFor), given the old file's owner, group and mode,
  //    flushed, renamed over it, and the folder is flushed.
  // On failure the file holds exactly the bytes it held before and no
  // temporary file remains, unless `applied` says otherwise. An edit that
  // changes nothing writes nothing and makes no folder; when `edit` returns
  // nullopt (it refuses the file it was shown), nothing is written and the
  // call fails with EINVAL.
  UpdateResult Update(
      const std::function<std::optional<ProfileEdit>(std::string_view current)>& edit);

  // The lock file beside `target`. It stays there once made.
  static std::string LockPathFor(const std::string& target) { return target + ".lock"; }

  // The start of the names of temporary files beside `target`; a random
  // part follows. Only a writer holding the lock has one, so one found by
  // the lock's holder was left by a killed writer, and is removed when it
  // carries the mark of ours (FileSystem::IsOurTemporary); anything else
  // of that name is left alone.
  static std::string TemporaryPrefixFor(const std::string& target) { return target + ".tmp-"; }

 private:
  struct Current {
    FileBytes bytes;
    bool exists = false;
    FileInfo info;
  };

  Status Resolve(std::string* target) const;
  Status OpenTrustedFolder(const std::string& folder, UniqueFd* directory,
                           FileInfo* info) const;
  // Reads `target` into `current`; when it is still the untouched file
  // `earlier` read, takes those bytes instead of reading again.
  Status ReadCurrent(const std::string& target, Current* current, Current* earlier) const;
  void RemoveStaleTemporaries(int directory, const std::string& target,
                              const Current& current) const;
  // Writes the concatenation of `pieces` as the new `target`, owned by
  // `owner` (as the file system makes it when absent).
  Status PutInPlace(const std::string& target, mode_t mode, const std::optional<FileInfo>& owner,
                    std::initializer_list<std::string_view> pieces);

  std::string path_;
  FileSystem& fileSystem_;
};

}  // namespace platform::posix
