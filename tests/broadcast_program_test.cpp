// The broadcast reaching running programs: the real defprinter with winwatch
// windows, and with windows that misbehave, in this test program's own
// window station.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/posix/station_broadcast.h"
#include "platform/posix/window_station.h"
#include "tests/support/background_process.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using platform::posix::UniqueFd;
using testing_support::BackgroundProcess;
using testing_support::ProcessResult;
using testing_support::RunProcess;

const std::string kHeard = "WM_WININICHANGE windows";

class BroadcastTest : public testing::Test {
 protected:
  void SetUp() override {
    runtime = dir / "runtime";
    std::filesystem::create_directory(runtime);
    station = runtime + "/winstation";
  }

  std::map<std::string, std::string> Env() const {
    return {{"XDG_RUNTIME_DIR", runtime}, {"WININI", profile}};
  }

  std::unique_ptr<BackgroundProcess> StartWatcher(std::vector<std::string> args) {
    auto watcher = std::make_unique<BackgroundProcess>(WINWATCH_PATH, args, Env());
    EXPECT_EQ(watcher->ReadLine(5s), "ready");
    return watcher;
  }

  ProcessResult RunDefprinter() {
    testing_support::ProcessOptions options;
    options.env = Env();
    return RunProcess(DEFPRINTER_PATH, options);
  }

  // A socket in the station that nobody listens on any more.
  std::string MakeDeadSocket() {
    const std::string path = station + "/w-999999-0-dead";
    UniqueFd socket(::socket(AF_UNIX, SOCK_SEQPACKET, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", path.c_str());
    EXPECT_EQ(::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    return path;
  }

  testing_support::TempDir dir;
  std::string runtime;
  std::string station;
  std::string profile = dir / "win.ini";
};

TEST_F(BroadcastTest, EveryRunningWindowHearsTheSectionOnceAndTheSlowestIsAwaited) {
  auto quick = StartWatcher({"--count", "5"});
  auto other = StartWatcher({"--count", "5"});
  auto slow = StartWatcher({"--count", "5", "--delay-ms", "800"});
  const ProcessResult result = RunDefprinter();
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out + result.err, "");
  // The slow window answers 800 ms after it has the message.
  EXPECT_GE(result.elapsed, 800ms);
  for (auto* watcher : {quick.get(), other.get(), slow.get()}) {
    EXPECT_EQ(watcher->ReadLine(2s), kHeard);
    watcher->Stop();
    EXPECT_EQ(watcher->Output(), "ready\n" + kHeard + "\n");
  }
  // Each window leaves the station with its owner.
  EXPECT_TRUE(std::filesystem::is_empty(station));
}

TEST_F(BroadcastTest, AProfileThatCannotBeWrittenStillBroadcasts) {
  testing_support::WriteFile(dir / "folder", "");
  profile = dir / "folder/win.ini";
  auto watcher = StartWatcher({"--count", "1"});
  const ProcessResult result = RunDefprinter();
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(watcher->WaitExit(5s), 0);
  EXPECT_EQ(watcher->Output(), "ready\n" + kHeard + "\n");
}

TEST_F(BroadcastTest, HungWindowsCostOneBoundTogetherAndDeadSocketsAreRemoved) {
  auto answering = StartWatcher({"--count", "1"});
  auto hung1 = StartWatcher({"--hang"});
  auto hung2 = StartWatcher({"--hang"});
  auto hung3 = StartWatcher({"--hang"});
  const std::string dead = MakeDeadSocket();
  const ProcessResult result = RunDefprinter();
  EXPECT_TRUE(result.exited) << "still waiting after " << result.elapsed.count() << " ms";
  EXPECT_EQ(result.status, 0);
  // Three hung windows are waited on together: one 5-second bound, not three.
  EXPECT_LT(result.elapsed, 12s);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dead)));
  EXPECT_EQ(answering->WaitExit(5s), 0);
  EXPECT_EQ(answering->Output(), "ready\n" + kHeard + "\n");
  EXPECT_EQ(hung1->Output(), "ready\n");
}

// Stations that must not be used: each holds a dead socket that a broadcast
// through a usable station would remove.
struct RefusedStation {
  const char* name;
  std::function<void(const std::string& station, const std::string& elsewhere)> make;
};

void PrintTo(const RefusedStation& c, std::ostream* os) { *os << c.name; }

class RefusedStationTest : public BroadcastTest,
                           public testing::WithParamInterface<RefusedStation> {};

TEST_P(RefusedStationTest, IsNotUsedNorFollowedAndTheProgramStillEnds) {
  const std::string elsewhere = dir / "elsewhere";
  std::filesystem::create_directory(elsewhere);
  ASSERT_EQ(chmod(elsewhere.c_str(), 0700), 0);
  std::filesystem::create_directory(station);
  ASSERT_EQ(chmod(station.c_str(), 0700), 0);
  // Both folders get a dead socket while they are still usable.
  std::string deadHere = MakeDeadSocket();
  {
    const std::string keep = station;
    station = elsewhere;
    MakeDeadSocket();
    station = keep;
  }
  GetParam().make(station, elsewhere);

  const ProcessResult result = RunDefprinter();
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(testing_support::ReadFile(profile),
            "[windows]\r\nDevice=Quillmarex,winspool,Ne01:\r\n");
  EXPECT_TRUE(std::filesystem::exists(elsewhere + "/w-999999-0-dead"));
  if (std::filesystem::is_directory(std::filesystem::symlink_status(station))) {
    EXPECT_TRUE(std::filesystem::exists(deadHere));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Stations, RefusedStationTest,
    testing::Values(
        RefusedStation{"OpenToOthers",
                       [](const std::string& station, const std::string&) {
                         ASSERT_EQ(chmod(station.c_str(), 0755), 0);
                       }},
        RefusedStation{"ALinkToAnotherFolder",
                       [](const std::string& station, const std::string& elsewhere) {
                         std::filesystem::remove_all(station);
                         std::filesystem::create_directory_symlink(elsewhere, station);
                       }},
        RefusedStation{"ARegularFile",
                       [](const std::string& station, const std::string&) {
                         std::filesystem::remove_all(station);
                         testing_support::WriteFile(station, "");
                       }},
        RefusedStation{"OwnedBySomeoneElse",
                       [](const std::string& station, const std::string&) {
                         if (geteuid() != 0) GTEST_SKIP() << "needs root to give a folder away";
                         ASSERT_EQ(chown(station.c_str(), 65534, 65534), 0);
                       }}),
    [](const testing::TestParamInfo<RefusedStation>& info) { return info.param.name; });

// A window made by hand in the station, whose owner misbehaves in one way.
class FakeWindow {
 public:
  enum class Behaviour { AnswerGarbage, AnswerTooMuch, CloseAtOnce, NeverRead, AnotherUser };

  FakeWindow(const std::string& station, const std::string& name, Behaviour behaviour)
      : path_(station + "/" + name) {
    listener_.reset(::socket(AF_UNIX, SOCK_SEQPACKET, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", path_.c_str());
    EXPECT_EQ(::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)),
              0);
    if (behaviour == Behaviour::AnotherUser) {
      // The kernel vouches for whoever called listen(): a child of another
      // user. It reports through a pipe whether a message ever reached it.
      int fds[2];
      EXPECT_EQ(pipe(fds), 0);
      report_.reset(fds[0]);
      child_ = fork();
      if (child_ == 0) {
        ::close(fds[0]);
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        ::listen(listener_.get(), 16);
        ::write(fds[1], "L", 1);
        for (;;) {
          UniqueFd connection(::accept(listener_.get(), nullptr, nullptr));
          char byte;
          if (::recv(connection.get(), &byte, 1, 0) > 0) ::write(fds[1], "M", 1);
        }
      }
      ::close(fds[1]);
      char ready = 0;
      EXPECT_EQ(::read(report_.get(), &ready, 1), 1);
      EXPECT_EQ(ready, 'L');
      return;
    }
    ::listen(listener_.get(), 16);
    if (behaviour == Behaviour::NeverRead) return;
    thread_ = std::thread([this, behaviour] {
      UniqueFd connection(::accept(listener_.get(), nullptr, nullptr));
      if (behaviour == Behaviour::CloseAtOnce) return;
      char frame[8192];
      ::recv(connection.get(), frame, sizeof(frame), 0);
      const std::string reply = behaviour == Behaviour::AnswerGarbage
                                    ? std::string("garbage!garbage!")
                                    : std::string(200, 'x');
      ::send(connection.get(), reply.data(), reply.size(), MSG_NOSIGNAL);
    });
  }

  ~FakeWindow() {
    if (thread_.joinable()) {
      ::shutdown(listener_.get(), SHUT_RDWR);
      thread_.join();
    }
    if (child_ > 0) {
      ::kill(child_, SIGKILL);
      ::waitpid(child_, nullptr, 0);
    }
    ::unlink(path_.c_str());
  }

  // True when the other user's window was handed a message.
  bool ReachedAnotherUser() {
    pollfd entry{report_.get(), POLLIN, 0};
    char byte = 0;
    return ::poll(&entry, 1, 0) == 1 && ::read(report_.get(), &byte, 1) == 1 && byte == 'M';
  }

 private:
  std::string path_;
  UniqueFd listener_;
  UniqueFd report_;
  std::thread thread_;
  pid_t child_ = -1;
};

TEST_F(BroadcastTest, MisbehavingWindowsCannotStopTheBroadcast) {
  auto watcher = StartWatcher({"--count", "1"});
  using B = FakeWindow::Behaviour;
  FakeWindow garbage(station, "w-1-0-garbage", B::AnswerGarbage);
  FakeWindow tooMuch(station, "w-1-1-toomuch", B::AnswerTooMuch);
  FakeWindow closes(station, "w-1-2-closes", B::CloseAtOnce);
  FakeWindow neverReads(station, "w-1-3-neverreads", B::NeverRead);

  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  platform::posix::StationBroadcast broadcast({0x1A, 0, 0, std::string("windows")}, {}, 2s);
  broadcast.Wait();
  EXPECT_EQ(broadcast.answered(), 1);  // winwatch only; garbage is no answer
  EXPECT_EQ(broadcast.givenUp(), 1);   // the window that never reads
  EXPECT_EQ(watcher->WaitExit(5s), 0);
  EXPECT_EQ(watcher->Output(), "ready\n" + kHeard + "\n");
}

TEST_F(BroadcastTest, AWindowOfAnotherUserIsNotSentTo) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to own a window as another user";
  std::filesystem::create_directory(station);
  ASSERT_EQ(chmod(station.c_str(), 0700), 0);
  FakeWindow stranger(station, "w-1-0-stranger", FakeWindow::Behaviour::AnotherUser);
  auto watcher = StartWatcher({"--count", "1"});
  const ProcessResult result = RunDefprinter();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(watcher->WaitExit(5s), 0);
  EXPECT_FALSE(stranger.ReachedAnotherUser());
}

// Messages another program of the user may send: one that claims its text
// is at an address (winwatch would have printed through it), and one whose
// text would drive the terminal. Neither crashes the window, and what it
// prints is escaped.
TEST_F(BroadcastTest, AWindowNeverFollowsASentAddressAndPrintsControlsEscaped) {
  auto watcher = StartWatcher({"--count", "1"});
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  platform::posix::StationBroadcast bare({0x1A, 0, 0x1234, std::nullopt}, {}, 1s);
  bare.Wait();
  EXPECT_EQ(bare.answered(), 0);
  platform::posix::StationBroadcast nasty(
      {0x1A, 0, 0, std::string("win\x1b]0;owned\x07" "dows\\\xc2\x9b")}, {}, 2s);
  nasty.Wait();
  EXPECT_EQ(nasty.answered(), 1);
  EXPECT_EQ(watcher->WaitExit(5s), 0);
  EXPECT_EQ(watcher->Output(),
            "ready\nWM_WININICHANGE win\\x1B]0;owned\\x07dows\\\\\\xC2\\x9B\n");
}

// A station another user made first: refused, and winwatch says where, why
// and what to do.
TEST_F(BroadcastTest, ASquattedStationIsNamedWithItsOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give a folder away";
  std::filesystem::create_directory(station);
  ASSERT_EQ(chmod(station.c_str(), 0700), 0);
  ASSERT_EQ(chown(station.c_str(), 65534, 65534), 0);
  testing_support::ProcessOptions options;
  options.env = Env();
  const ProcessResult result = RunProcess(WINWATCH_PATH, options);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "winwatch: the window station " + station +
                            " cannot be used: it belongs to user id 65534, not to you (" +
                            std::to_string(geteuid()) +
                            "); remove it (or have its owner remove it), or set "
                            "XDG_RUNTIME_DIR to a folder of your own\n");
}

// More hung windows than the sender may hold sockets: the answering window
// still gets its turn before the deadline.
TEST_F(BroadcastTest, HungWindowsBeyondTheDescriptorLimitDoNotStarveTheOthers) {
  auto watcher = StartWatcher({"--count", "1"});
  std::vector<UniqueFd> hung;
  for (int i = 0; i < 150; ++i) {
    UniqueFd socket(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s/w-1-%d-hung", station.c_str(), i);
    ASSERT_EQ(::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(socket.get(), 4), 0);
    hung.push_back(std::move(socket));
  }
  // 80 descriptors, soft and hard: room for 16 sockets at once.
  testing_support::ProcessOptions options;
  options.env = Env();
  options.args = {"--nofile=80:80", DEFPRINTER_PATH};
  const ProcessResult result = RunProcess("/usr/bin/prlimit", options);
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.status, 0);
  EXPECT_LT(result.elapsed, 8s) << result.elapsed.count() << " ms";
  EXPECT_EQ(watcher->WaitExit(2s), 0) << result.elapsed.count() << " ms: " << result.err;
  EXPECT_EQ(watcher->Output(), "ready\n" + kHeard + "\n");
  for (int i = 0; i < 150; ++i) ::unlink((station + "/w-1-" + std::to_string(i) + "-hung").c_str());
}

}  // namespace
