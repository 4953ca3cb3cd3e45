#pragma once
// A file system that passes every step to the real one, except that step
// number `failAt` (counting from 1) fails with `error`.

#include <string>

#include "platform/posix/file_system.h"

namespace testing_support {

class FaultyFileSystem final : public platform::posix::FileSystem {
 public:
  using UniqueFd = platform::posix::UniqueFd;
  using FileInfo = platform::posix::FileInfo;

  FaultyFileSystem(int failAt, int error) : failAt_(failAt), error_(error) {}

  int calls() const { return calls_; }
  // The name of the step that failed, empty when none did.
  const std::string& failed() const { return failed_; }

  int CreateDirectories(const std::string& path, mode_t mode) override {
    return Run("CreateDirectories", [&] { return real().CreateDirectories(path, mode); });
  }
  int OpenDirectory(const std::string& path, UniqueFd* directory) override {
    return Run("OpenDirectory", [&] { return real().OpenDirectory(path, directory); });
  }
  int LockExclusive(int directory) override {
    return Run("LockExclusive", [&] { return real().LockExclusive(directory); });
  }
  int ResolveLinks(const std::string& path, std::string* target) override {
    return Run("ResolveLinks", [&] { return real().ResolveLinks(path, target); });
  }
  int OpenForRead(const std::string& path, UniqueFd* file) override {
    return Run("OpenForRead", [&] { return real().OpenForRead(path, file); });
  }
  int Stat(int file, FileInfo* info) override { return Run("Stat", [&] { return real().Stat(file, info); }); }
  int Read(int file, char* buffer, std::size_t size, std::size_t* got) override {
    return Run("Read", [&] { return real().Read(file, buffer, size, got); });
  }
  int CreateExclusive(const std::string& path, mode_t mode, UniqueFd* file) override {
    return Run("CreateExclusive", [&] { return real().CreateExclusive(path, mode, file); });
  }
  int Write(int file, std::string_view bytes) override {
    // A write that fails part way, as a full disk does.
    if (const int error = Step("Write")) {
      real().Write(file, bytes.substr(0, bytes.size() / 2));
      return error;
    }
    return real().Write(file, bytes);
  }
  int Sync(int file) override { return Run("Sync", [&] { return real().Sync(file); }); }
  int Close(UniqueFd& file) override {
    if (const int error = Step("Close")) {
      real().Close(file);
      return error;
    }
    return real().Close(file);
  }
  int Rename(const std::string& from, const std::string& to) override {
    return Run("Rename", [&] { return real().Rename(from, to); });
  }
  int Remove(const std::string& path) override {
    return Run("Remove", [&] { return real().Remove(path); });
  }
  int SyncDirectory(int directory) override {
    return Run("SyncDirectory", [&] { return real().SyncDirectory(directory); });
  }

 private:
  static platform::posix::FileSystem& real() { return platform::posix::DefaultFileSystem(); }

  template <typename Operation>
  int Run(const char* name, Operation operation) {
    if (const int error = Step(name)) return error;
    return operation();
  }

  int Step(const char* name) {
    if (++calls_ != failAt_) return 0;
    failed_ = name;
    return error_;
  }

  int failAt_;
  int error_;
  int calls_ = 0;
  std::string failed_;
};

}  // namespace testing_support
