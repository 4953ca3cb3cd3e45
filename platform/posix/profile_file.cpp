#include "platform/posix/profile_file.h"

#include <cerrno>

namespace platform::posix {
namespace {

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

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

}  // namespace

int ProfileFile::Resolve(std::string* target) const {
  const int error = fileSystem_.ResolveLinks(path_, target);
  if (error == ENOENT) {
    // Not there yet (or a dangling link, which reading then refuses).
    *target = path_;
    return 0;
  }
  return error;
}

int ProfileFile::ReadCurrent(const std::string& target, Current* current) const {
  UniqueFd file;
  if (const int error = fileSystem_.OpenForRead(target, &file); error != 0) {
    return error == ENOENT ? 0 : error;
  }
  FileInfo info;
  if (const int error = fileSystem_.Stat(file.get(), &info); error != 0) return error;
  if (!info.regular) return EINVAL;
  if (info.size < 0 || static_cast<std::size_t>(info.size) > kMaxBytes) return EFBIG;
  const auto size = static_cast<std::size_t>(info.size);
  std::size_t got = 0;
  if (const int error = fileSystem_.Read(file.get(), current->bytes.Allocate(size), size, &got);
      error != 0) {
    return error;
  }
  current->bytes.Shrink(got);
  current->exists = true;
  current->mode = info.mode;
  return 0;
}

int ProfileFile::Read(FileBytes* bytes) const {
  std::string target;
  if (const int error = Resolve(&target); error != 0) return error;
  Current current;
  if (const int error = ReadCurrent(target, &current); error != 0) return error;
  *bytes = std::move(current.bytes);
  return 0;
}

int ProfileFile::Update(
    const std::function<std::optional<ProfileEdit>(std::string_view)>& edit) {
  std::string target;
  if (const int error = Resolve(&target); error != 0) return error;
  const std::string folder = FolderOf(target);
  if (const int error = fileSystem_.CreateDirectories(folder, kNewFolderMode); error != 0) {
    return error;
  }
  UniqueFd directory;
  if (const int error = fileSystem_.OpenDirectory(folder, &directory); error != 0) return error;
  if (const int error = fileSystem_.LockExclusive(directory.get()); error != 0) return error;

  Current current;
  if (const int error = ReadCurrent(target, &current); error != 0) return error;
  const std::string_view old = current.bytes.view();
  const std::optional<ProfileEdit> change = edit(old);
  if (!change) return EINVAL;
  if (!change->Changes(old)) return 0;
  if (const int error = PutInPlace(target, current.mode,
                                   {change->Before(old), change->insertion, change->After(old)});
      error != 0) {
    return error;
  }
  // The rename lasts through a crash only once the folder is flushed. When
  // that fails the change is not known to be kept, so it is undone and the
  // call fails, as though it had never taken place.
  const int error = fileSystem_.SyncDirectory(directory.get());
  if (error != 0) {
    if (current.exists) {
      PutInPlace(target, current.mode, {old});
    } else {
      fileSystem_.Remove(target);
    }
    fileSystem_.SyncDirectory(directory.get());
  }
  return error;
}

int ProfileFile::PutInPlace(const std::string& target, mode_t mode,
                            std::initializer_list<std::string_view> pieces) {
  const std::string temporaryPath = TemporaryPathFor(target);
  UniqueFd file;
  int error = fileSystem_.CreateExclusive(temporaryPath, mode, &file);
  if (error == EEXIST) {
    // Left by a writer that was killed while it held the lock.
    fileSystem_.Remove(temporaryPath);
    error = fileSystem_.CreateExclusive(temporaryPath, mode, &file);
  }
  if (error != 0) {
    // A descriptor means the file was made but not given its mode.
    if (file.valid()) fileSystem_.Remove(temporaryPath);
    return error;
  }
  TemporaryFile temporary(fileSystem_, temporaryPath);
  for (const std::string_view piece : pieces) {
    if (piece.empty()) continue;
    if ((error = fileSystem_.Write(file.get(), piece)) != 0) return error;
  }
  if ((error = fileSystem_.Sync(file.get())) != 0) return error;
  if ((error = fileSystem_.Close(file)) != 0) return error;
  if ((error = fileSystem_.Rename(temporary.path(), target)) != 0) return error;
  temporary.Keep();
  return 0;
}

}  // namespace platform::posix
