#include "platform/posix/profile_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <vector>

namespace platform::posix {
namespace {

// How many random names a temporary file is tried under before giving up.
constexpr int kTemporaryNameTries = 16;

std::string NameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsRoot() { return ::geteuid() == 0; }

// Removes a temporary file on every way out unless it was put in place.
class TemporaryFile {
 public:
  TemporaryFile(FileSystem& fileSystem, std::string path)
      : fileSystem_(fileSystem), path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!kept_) fileSystem_.Remove(path_);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::string& path() const { return path_; }
  void Keep() { kept_ = true; }

 private:
  FileSystem& fileSystem_;
  std::string path_;
  bool kept_ = false;
};

std::string RandomSuffix() {
  std::random_device random;
  char buffer[17];
  std::snprintf(buffer, sizeof(buffer), "%08x%08x", random(), random());
  return buffer;
}

}  // namespace

Status ProfileFile::Resolve(std::string* target) const {
  if (const int error = fileSystem_.ResolveLinks(path_, target); error != 0) {
    return Status::Failure(error, error == EPERM ? "a link on the way belongs to another user"
                                                 : "follow links");
  }
  return {};
}

Status ProfileFile::OpenTrustedFolder(const std::string& folder, UniqueFd* directory,
                                      FileInfo* info) const {
  if (const int error = fileSystem_.OpenDirectory(folder, directory); error != 0) {
    return Status::Failure(error, "open folder", folder);
  }
  if (const int error = fileSystem_.Stat(directory->get(), info); error != 0) {
    return Status::Failure(error, "inspect folder", folder);
  }
  // Whoever may write the folder may put a link or a file of theirs in the
  // profile's place: only the user (and root) may.
  if (!IsRoot() && info->owner != ::geteuid()) {
    return Status::Failure(EPERM, "folder " + folder + " belongs to another user");
  }
  if ((info->mode & (S_IWGRP | S_IWOTH)) != 0) {
    return Status::Failure(EPERM, "folder " + folder + " may be written by others");
  }
  return {};
}

Status ProfileFile::ReadCurrent(const std::string& target, Current* current,
                                Current* earlier) const {
  UniqueFd file;
  if (const int error = fileSystem_.OpenForRead(target, &file); error != 0) {
    if (error == ENOENT) return {};
    return Status::Failure(error == ELOOP ? EINVAL : error, "open");
  }
  if (const int error = fileSystem_.Stat(file.get(), &current->info); error != 0) {
    return Status::Failure(error, "stat");
  }
  if (!current->info.regular) return Status::Failure(EINVAL, "read what is not a regular file");
  if (current->info.size < 0 || static_cast<std::size_t>(current->info.size) > kMaxBytes) {
    return Status::Failure(EFBIG, "read");
  }
  current->exists = true;
  if (earlier != nullptr && earlier->exists && earlier->info.SameUntouchedFile(current->info)) {
    current->bytes = std::move(earlier->bytes);
    return {};
  }
  const auto size = static_cast<std::size_t>(current->info.size);
  std::size_t got = 0;
  if (const int error = fileSystem_.Read(file.get(), current->bytes.Allocate(size), size, &got);
      error != 0) {
    return Status::Failure(error, "read");
  }
  current->bytes.Shrink(got);
  return {};
}

Status ProfileFile::Read(FileBytes* bytes) const {
  std::string target;
  if (Status status = Resolve(&target); !status.ok()) return status;
  UniqueFd directory;
  FileInfo folder;
  if (Status status = OpenTrustedFolder(FolderOf(target), &directory, &folder); !status.ok()) {
    // No folder, no profile: it reads as empty.
    return status.code() == ENOENT ? Status() : status;
  }
  Current current;
  if (Status status = ReadCurrent(target, &current, nullptr); !status.ok()) return status;
  *bytes = std::move(current.bytes);
  return {};
}

void ProfileFile::RemoveStaleTemporaries(int directory, const std::string& target,
                                         const Current& current) const {
  const std::string prefix = NameOf(TemporaryPrefixFor(target));
  std::vector<std::string> names;
  if (fileSystem_.ListNames(directory, prefix, &names) != 0) return;
  const std::string folder = FolderOf(target);
  for (const std::string& name : names) {
    const std::string path = folder == "/" ? "/" + name : folder + "/" + name;
    // Root's temporaries are given the profile's owner when they are made.
    if (fileSystem_.IsOurTemporary(path, ::geteuid()) ||
        (current.exists && fileSystem_.IsOurTemporary(path, current.info.owner))) {
      fileSystem_.Remove(path);
    }
  }
}

ProfileFile::UpdateResult ProfileFile::Update(
    const std::function<std::optional<ProfileEdit>(std::string_view)>& edit) {
  std::string target;
  if (Status status = Resolve(&target); !status.ok()) return {status};
  const std::string folder = FolderOf(target);

  // A first look without the lock: when the edit changes nothing in the
  // file as it stands (removing what is absent, writing the value it
  // holds), there is nothing to write and no folder or lock to make.
  UniqueFd directory;
  FileInfo folderInfo;
  const Status opened = OpenTrustedFolder(folder, &directory, &folderInfo);
  if (!opened.ok() && opened.code() != ENOENT) return {opened};
  Current seen;
  if (opened.ok()) {
    if (Status status = ReadCurrent(target, &seen, nullptr); !status.ok()) return {status};
  }
  std::optional<ProfileEdit> change = edit(seen.bytes.view());
  if (!change) return {Status::Failure(EINVAL, "edit")};
  if (!change->Changes(seen.bytes.view())) return {};

  if (!directory.valid()) {
    if (const int error = fileSystem_.CreateDirectories(folder, kNewFolderMode); error != 0) {
      return {Status::Failure(error, "make folder", folder)};
    }
    if (Status status = OpenTrustedFolder(folder, &directory, &folderInfo); !status.ok()) {
      return {status};
    }
  }

  // What root makes in a user's folder is the user's, so the user can go on
  // writing it.
  const std::optional<FileInfo> folderOwner =
      IsRoot() ? std::optional<FileInfo>(folderInfo) : std::nullopt;

  const std::string lockPath = LockPathFor(target);
  UniqueFd lock;
  if (const int error = fileSystem_.OpenLockFile(lockPath, &lock); error != 0) {
    return {Status::Failure(error, "open lock file", lockPath)};
  }
  if (folderOwner) {
    FileInfo lockInfo;
    int error = fileSystem_.Stat(lock.get(), &lockInfo);
    if (error == 0 &&
        (lockInfo.owner != folderOwner->owner || lockInfo.group != folderOwner->group)) {
      error = fileSystem_.ChangeOwner(lock.get(), folderOwner->owner, folderOwner->group);
    }
    if (error != 0) {
      return {Status::Failure(error, "give the lock file to the folder's owner", lockPath)};
    }
  }
  if (const int error = fileSystem_.LockExclusive(lock.get(), kLockTimeout); error != 0) {
    return {Status::Failure(error, "lock", lockPath)};
  }

  // Under the lock: the file as it is now. When it is still the file first
  // seen, untouched, its bytes and the edit stand.
  Current current;
  if (Status status = ReadCurrent(target, &current, &seen); !status.ok()) return {status};
  RemoveStaleTemporaries(directory.get(), target, current);
  // A profile its owner may not write is a request to leave it as it is.
  if (current.exists && (current.info.mode & S_IWUSR) == 0) {
    return {Status::Failure(EACCES, "the profile is read-only")};
  }
  const std::string_view old = current.bytes.view();
  const bool unchanged = current.exists == seen.exists &&
                         (!current.exists || current.info.SameUntouchedFile(seen.info));
  if (!unchanged) {
    change = edit(old);
    if (!change) return {Status::Failure(EINVAL, "edit")};
    if (!change->Changes(old)) return {};
  }

  const mode_t mode = current.exists ? current.info.mode : kNewFileMode;
  const std::optional<FileInfo> owner = current.exists ? std::optional(current.info) : folderOwner;
  if (Status status = PutInPlace(target, mode, owner,
                                 {change->Before(old), change->insertion, change->After(old)});
      !status.ok()) {
    return {status};
  }
  // The rename lasts through a crash only once the folder is flushed. When
  // that fails the change is not known to be kept, so it is undone and the
  // call fails, as though it had never taken place; when the undoing fails
  // too, the new bytes stay in place and the call says so.
  const int error = fileSystem_.SyncDirectory(directory.get());
  if (error == 0) return {{}, true};
  const Status failure = Status::Failure(error, "sync folder", folder);
  const bool undone = current.exists ? PutInPlace(target, mode, owner, {old}).ok()
                                     : fileSystem_.Remove(target) == 0;
  if (!undone) return {failure, true};
  fileSystem_.SyncDirectory(directory.get());
  return {failure, false};
}

Status ProfileFile::PutInPlace(const std::string& target, mode_t mode,
                               const std::optional<FileInfo>& owner,
                               std::initializer_list<std::string_view> pieces) {
  const std::string prefix = TemporaryPrefixFor(target);
  UniqueFd file;
  std::string temporaryPath;
  int error = EEXIST;
  // A name taken by anything (a file of someone else's, a folder) is left
  // alone, and another is tried.
  for (int tries = 0; error == EEXIST && tries < kTemporaryNameTries; ++tries) {
    temporaryPath = prefix + RandomSuffix();
    error = fileSystem_.CreateExclusive(temporaryPath, mode, &file);
  }
  if (error != 0) {
    // A descriptor means the file was made but not given its mode.
    if (file.valid()) fileSystem_.Remove(temporaryPath);
    return Status::Failure(error, "create temporary file", temporaryPath);
  }
  TemporaryFile temporary(fileSystem_, temporaryPath);
  if (owner) {
    FileInfo made;
    if ((error = fileSystem_.Stat(file.get(), &made)) != 0) {
      return Status::Failure(error, "stat temporary file", temporaryPath);
    }
    if (made.owner != owner->owner || made.group != owner->group) {
      error = fileSystem_.ChangeOwner(file.get(), owner->owner, owner->group);
      // Only root can give a file away; a user who may not keep the group
      // (one the user has left) still writes the file, in a group of theirs.
      if (error != 0 && (IsRoot() || made.owner != owner->owner)) {
        return Status::Failure(error, "keep the profile's owner and group");
      }
    }
  }
  for (const std::string_view piece : pieces) {
    if (piece.empty()) continue;
    if ((error = fileSystem_.Write(file.get(), piece)) != 0) return Status::Failure(error, "write");
  }
  if ((error = fileSystem_.Sync(file.get())) != 0) return Status::Failure(error, "sync");
  if ((error = fileSystem_.Close(file)) != 0) return Status::Failure(error, "close");
  if ((error = fileSystem_.Rename(temporary.path(), target)) != 0) {
    return Status::Failure(error, "rename");
  }
  temporary.Keep();
  return {};
}

}  // namespace platform::posix
