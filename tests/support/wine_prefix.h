#pragma once
// A fresh Wine prefix in a temporary folder, for running our Windows
// programs under Wine as a black box: made and brought up once, with
// Wine's null display driver, and its wineserver ended when it goes.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/background_process.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace testing_support {

class WinePrefix {
 public:
  // Debian's wine64 and wineserver.
  static constexpr const char* kWine = "/usr/lib/wine/wine64";
  static constexpr const char* kWineServer = "/usr/lib/wine/wineserver";

  // Makes and starts the prefix; `env` is added to every program's
  // environment (LC_ALL sets the system code page, as on Windows the
  // system locale does).
  explicit WinePrefix(std::map<std::string, std::string> env = {});
  ~WinePrefix();
  WinePrefix(const WinePrefix&) = delete;
  WinePrefix& operator=(const WinePrefix&) = delete;

  // Whether the prefix came up; `problem` says why not.
  bool ready() const { return ready_; }
  const std::string& problem() const { return problem_; }

  // Runs Windows program `exe` to its end, with `env` added to the
  // prefix's environment.
  ProcessResult Run(const std::string& exe, std::vector<std::string> args = {},
                    std::chrono::milliseconds timeout = std::chrono::seconds(30),
                    const std::map<std::string, std::string>& env = {}) const;
  // Starts Windows program `exe` beside the test.
  std::unique_ptr<BackgroundProcess> Start(const std::string& exe,
                                           std::vector<std::string> args = {}) const;

  // The value `name` under registry key `key` of the current user, or
  // nullopt when absent (through Wine's own reg.exe).
  std::optional<std::string> RegistryValue(const std::string& key, const std::string& name) const;
  bool SetRegistryValue(const std::string& key, const std::string& name,
                        const std::string& value) const;

  // The Linux path of C:\windows\win.ini, where sections other than
  // [windows] live under Wine.
  std::string WinIniPath() const;

 private:
  std::map<std::string, std::string> Env() const;

  TempDir dir_;
  std::map<std::string, std::string> env_;
  bool ready_ = false;
  std::string problem_;
};

}  // namespace testing_support
