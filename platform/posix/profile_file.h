#pragma once
// One profile file on disk: read whole, or changed all or nothing.

#include <sys/types.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix/file_system.h"
#include "platform/posix/profile_document.h"

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

  // `path` names the file; links on the way to it are followed, so a link
  // to a regular file is read and replaced at the file it leads to.
  ProfileFile(std::string path, FileSystem& fileSystem)
      : path_(std::move(path)), fileSystem_(fileSystem) {}

  // The file's bytes, or none when it does not exist. Returns 0, or an
  // errno value: EINVAL when the path is not a regular file, EFBIG when the
  // file is larger than kMaxBytes.
  int Read(FileBytes* bytes) const;

  // Works out one edit of the file from its current bytes (empty when it
  // does not exist) and stores the result, all or nothing, under a lock that
  // writers of the same folder in every process respect for the whole
  // read-modify-write: a new file is written beside the old one, flushed,
  // renamed over it, and the folder is flushed. Returns 0, or an errno
  // value; on failure the file holds exactly the bytes it held before and
  // no temporary file remains. An edit that changes nothing writes nothing;
  // when `edit` returns nullopt (it refuses the file it was shown), nothing
  // is written and the call fails with EINVAL.
  int Update(const std::function<std::optional<ProfileEdit>(std::string_view current)>& edit);

  // The name of the temporary file beside `target`. Only a writer holding
  // the folder's lock uses it, so one left by a killed writer is stale and
  // is removed by the next write.
  static std::string TemporaryPathFor(const std::string& target) { return target + ".tmp"; }

 private:
  struct Current {
    FileBytes bytes;
    bool exists = false;
    mode_t mode = kNewFileMode;
  };

  int Resolve(std::string* target) const;
  int ReadCurrent(const std::string& target, Current* current) const;
  // Writes the concatenation of `pieces` as the new `target`.
  int PutInPlace(const std::string& target, mode_t mode,
                 std::initializer_list<std::string_view> pieces);

  std::string path_;
  FileSystem& fileSystem_;
};

}  // namespace platform::posix
