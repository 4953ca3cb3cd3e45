#pragma once
// A file system that passes every step to the real one, except that the
// steps whose numbers (counting calls from 1) are in `failAt` fail with
// `error`. One number is a single fault; several make double faults, such
// as a failure and then another while it is being undone.

#include <set>
#include <string>
#include <vector>

#include "platform/posix/file_system.h"

namespace testing_support {

class FaultyFileSystem final : public platform::posix::FileSystemWrapper {
 public:
  using UniqueFd = platform::posix::UniqueFd;
  using FileInfo = platform::posix::FileInfo;

  FaultyFileSystem(std::set<int> failAt, int error)
      : FileSystemWrapper(platform::posix::DefaultFileSystem()),
        failAt_(std::move(failAt)),
        error_(error) {}
  FaultyFileSystem(int failAt, int error) : FaultyFileSystem(std::set<int>{failAt}, error) {}

  int calls() const { return calls_; }
  // The names of the steps that failed, in order; empty when none did.
  const std::vector<std::string>& failedSteps() const { return failed_; }
  // The first step that failed, empty when none did.
  std::string failed() const { return failed_.empty() ? std::string() : failed_.front(); }
  // The name of every step taken, in order.
  const std::vector<std::string>& steps() const { return steps_; }

  int CreateDirectories(const std::string& path, mode_t mode) override {
    return Run("CreateDirectories", [&] { return target().CreateDirectories(path, mode); });
  }
  int OpenDirectory(const std::string& path, UniqueFd* directory) override {
    return Run("OpenDirectory", [&] { return target().OpenDirectory(path, directory); });
  }
  int OpenLockFile(const std::string& path, UniqueFd* file) override {
    return Run("OpenLockFile", [&] { return target().OpenLockFile(path, file); });
  }
  int LockExclusive(int file, std::chrono::milliseconds timeout) override {
    return Run("LockExclusive", [&] { return target().LockExclusive(file, timeout); });
  }
  int ResolveLinks(const std::string& path, std::string* resolved) override {
    return Run("ResolveLinks", [&] { return target().ResolveLinks(path, resolved); });
  }
  int OpenForRead(const std::string& path, UniqueFd* file) override {
    return Run("OpenForRead", [&] { return target().OpenForRead(path, file); });
  }
  int Stat(int file, FileInfo* info) override {
    return Run("Stat", [&] { return target().Stat(file, info); });
  }
  int Read(int file, char* buffer, std::size_t size, std::size_t* got) override {
    return Run("Read", [&] { return target().Read(file, buffer, size, got); });
  }
  int CreateExclusive(const std::string& path, mode_t mode, UniqueFd* file) override {
    return Run("CreateExclusive", [&] { return target().CreateExclusive(path, mode, file); });
  }
  int ChangeOwner(int file, uid_t owner, gid_t group) override {
    return Run("ChangeOwner", [&] { return target().ChangeOwner(file, owner, group); });
  }
  int Write(int file, std::string_view bytes) override {
    // A write that fails part way, as a full disk does.
    if (const int error = Step("Write")) {
      target().Write(file, bytes.substr(0, bytes.size() / 2));
      return error;
    }
    return target().Write(file, bytes);
  }
  int Sync(int file) override { return Run("Sync", [&] { return target().Sync(file); }); }
  int Close(UniqueFd& file) override {
    if (const int error = Step("Close")) {
      target().Close(file);
      return error;
    }
    return target().Close(file);
  }
  int Rename(const std::string& from, const std::string& to) override {
    return Run("Rename", [&] { return target().Rename(from, to); });
  }
  int Remove(const std::string& path) override {
    return Run("Remove", [&] { return target().Remove(path); });
  }
  int SyncDirectory(int directory) override {
    return Run("SyncDirectory", [&] { return target().SyncDirectory(directory); });
  }
  int ListNames(int directory, std::string_view prefix,
                std::vector<std::string>* names) override {
    return Run("ListNames", [&] { return target().ListNames(directory, prefix, names); });
  }

 private:
  template <typename Operation>
  int Run(const char* name, Operation operation) {
    if (const int error = Step(name)) return error;
    return operation();
  }

  int Step(const char* name) {
    steps_.emplace_back(name);
    if (failAt_.count(++calls_) == 0) return 0;
    failed_.emplace_back(name);
    return error_;
  }

  std::set<int> failAt_;
  int error_;
  int calls_ = 0;
  std::vector<std::string> failed_;
  std::vector<std::string> steps_;
};

}  // namespace testing_support
