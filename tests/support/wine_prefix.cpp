#include "tests/support/wine_prefix.h"

#include <unistd.h>

#include <filesystem>
#include <sstream>

namespace testing_support {

WinePrefix::WinePrefix(std::map<std::string, std::string> env) : env_(std::move(env)) {
  if (access(kWine, X_OK) != 0) {
    problem_ = std::string(kWine) + " is not installed (Debian package wine64)";
    return;
  }
  // wineboot makes the prefix; waiting for the wineserver to go means every
  // program of the first start has finished. The display driver is set
  // before any desktop is started again.
  const ProcessResult boot = Run("wineboot", {"--init"}, std::chrono::seconds(120));
  ProcessOptions wait;
  wait.env = Env();
  wait.args = {"-w"};
  wait.timeout = std::chrono::seconds(120);
  RunProcess(kWineServer, wait);
  const ProcessResult driver =
      Run("reg", {"add", "HKCU\\Software\\Wine\\Drivers", "/v", "Graphics", "/d", "null", "/f"});
  RunProcess(kWineServer, wait);
  if (driver.status != 0) {
    problem_ = "the Wine prefix did not come up: " + boot.err + driver.err;
    return;
  }
  // Then one wineserver for the prefix's whole life, and Wine's own
  // services started once under it, not again for each program (they would
  // outlive it holding its output open). Both go to the background at
  // once; their output goes nowhere, so no pipe of ours stays open behind.
  for (const std::string& command :
       {std::string(kWineServer) + " -p", std::string(kWine) + " wineboot"}) {
    ProcessOptions quiet;
    quiet.env = Env();
    quiet.args = {"-c", "exec " + command + " </dev/null >/dev/null 2>&1"};
    quiet.timeout = std::chrono::seconds(120);
    RunProcess("/bin/sh", quiet);
  }
  ready_ = true;
}

WinePrefix::~WinePrefix() {
  ProcessOptions kill;
  kill.env = Env();
  kill.args = {"-k"};
  RunProcess(kWineServer, kill);
}

std::map<std::string, std::string> WinePrefix::Env() const {
  std::map<std::string, std::string> env = env_;
  env["WINEPREFIX"] = dir_.path().string();
  env["WINEDEBUG"] = "-all";
  // No Mono or Gecko installer: nothing here needs them.
  env["WINEDLLOVERRIDES"] = "mscoree,mshtml=";
  env.erase("DISPLAY");
  return env;
}

ProcessResult WinePrefix::Run(const std::string& exe, std::vector<std::string> args,
                              std::chrono::milliseconds timeout,
                              const std::map<std::string, std::string>& env) const {
  ProcessOptions options;
  options.env = Env();
  for (const auto& [name, value] : env) options.env[name] = value;
  options.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
  options.args = {exe};
  options.args.insert(options.args.end(), args.begin(), args.end());
  options.timeout = timeout;
  return RunProcess(kWine, options);
}

std::unique_ptr<BackgroundProcess> WinePrefix::Start(const std::string& exe,
                                                     std::vector<std::string> args) const {
  args.insert(args.begin(), exe);
  return std::make_unique<BackgroundProcess>(kWine, args, Env());
}

std::optional<std::string> WinePrefix::RegistryValue(const std::string& key,
                                                     const std::string& name) const {
  const ProcessResult result = Run("reg", {"query", key, "/v", name});
  if (result.status != 0) return std::nullopt;
  // "    NAME    REG_SZ    VALUE"
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string marker = "    " + name + "    REG_SZ    ";
    if (line.rfind(marker, 0) == 0) return line.substr(marker.size());
    if (line == "    " + name + "    REG_SZ") return std::string();
  }
  return std::nullopt;
}

bool WinePrefix::SetRegistryValue(const std::string& key, const std::string& name,
                                  const std::string& value) const {
  return Run("reg", {"add", key, "/v", name, "/d", value, "/f"}).status == 0;
}

std::string WinePrefix::WinIniPath() const {
  return (dir_.path() / "drive_c/windows/win.ini").string();
}

}  // namespace testing_support
