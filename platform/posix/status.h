#pragma once
// The outcome of a step that can fail: which step, on which path, and the
// errno value, so that a person can be told what to mend.

#include <cstring>
#include <string>
#include <utility>

namespace platform::posix {

class Status {
 public:
  Status() = default;

  // A failure of `step` (a few words: "rename", "lock") with errno `code`.
  // `path` names what the step acted on when that is not the profile
  // itself, and is left out of the description when empty.
  static Status Failure(int code, std::string step, std::string path = {}) {
    Status status;
    status.code_ = code;
    status.step_ = std::move(step);
    status.path_ = std::move(path);
    return status;
  }

  bool ok() const { return code_ == 0; }
  int code() const { return code_; }
  const std::string& step() const { return step_; }
  const std::string& path() const { return path_; }

  // "rename: No space left on device", "lock /x/win.ini.lock: ...".
  std::string ToString() const {
    if (ok()) return "OK";
    std::string text = step_;
    if (!path_.empty()) text += " " + path_;
    return text + ": " + std::strerror(code_);
  }

 private:
  int code_ = 0;
  std::string step_;
  std::string path_;
};

}  // namespace platform::posix
