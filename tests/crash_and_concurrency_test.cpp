// The profile is never lost: the utility killed at random moments while it
// writes a large profile, and many programs writing one profile at once.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "platform/kernel32.h"
#include "platform/posix/profile_document.h"
#include "platform/posix/profile_store.h"
#include "tests/support/background_process.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ReadFile;
using testing_support::WriteFile;

constexpr const char* kDevice = "Quillmarex,winspool,Ne01:";

// A profile of about `bytes` bytes, its [windows] section in the middle.
std::string LargeProfile(std::size_t bytes) {
  std::string profile = "; a large profile\r\n";
  for (int section = 0; profile.size() < bytes; ++section) {
    if (section == 100) profile += "[windows]\r\nload=\r\nDevice=Old,winspool,LPT1:\r\nrun=\r\n";
    profile += "[section" + std::to_string(section) + "]\r\n";
    for (int key = 0; key < 20; ++key) {
      profile += "key" + std::to_string(key) + "=value " + std::to_string(section * key) + "\r\n";
    }
  }
  return profile;
}

pid_t StartDefprinter(const std::string& profile) {
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("WININI", profile.c_str(), 1);
    execl(DEFPRINTER_PATH, DEFPRINTER_PATH, nullptr);
    _exit(127);
  }
  return pid;
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

TEST(CrashStorm, AKilledWriterLeavesTheOldFileOrTheNewOneAndTheNextRunSucceeds) {
  testing_support::TempDir dir;
  const std::string profile = dir / "win.ini";
  const std::string old = LargeProfile(1 << 20);
  const std::string updated =
      platform::posix::ProfileDocument(old, *platform::CodePageFor(1252))
          .WithValue("windows", "Device", kDevice);
  ASSERT_GE(old.size(), 1u << 20);

  // How long one whole run takes here, so kills land all through it.
  std::chrono::microseconds runTime{0};
  for (int i = 0; i < 5; ++i) {
    WriteFile(profile, old);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(WaitFor(StartDefprinter(profile)), 0);
    runTime = std::max(runTime, std::chrono::duration_cast<std::chrono::microseconds>(
                                    std::chrono::steady_clock::now() - start));
  }

  std::mt19937 random(20261211);
  std::uniform_int_distribution<long> delay(0, runTime.count());
  int kills = 0, finished = 0, keptOld = 0, becameNew = 0, temporaryLeft = 0;
  for (int round = 0; round < 300; ++round) {
    WriteFile(profile, old);
    const pid_t pid = StartDefprinter(profile);
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    kill(pid, SIGKILL);
    const int status = WaitFor(pid);
    if (WIFSIGNALED(status)) {
      ++kills;
    } else {
      ++finished;
    }
    const std::string after = ReadFile(profile);
    ASSERT_TRUE(after == old || after == updated) << "round " << round << ": a torn profile";
    (after == old ? keptOld : becameNew)++;
    if (dir.Listing().find("win.ini.tmp-") != std::string::npos) ++temporaryLeft;

    // The next run finishes the job, and leaves no temporary file.
    if (after == updated) WriteFile(profile, old);
    ASSERT_EQ(WaitFor(StartDefprinter(profile)), 0);
    ASSERT_EQ(ReadFile(profile), updated) << "round " << round;
    ASSERT_EQ(dir.Listing(), "win.ini\nwin.ini.lock\n") << "round " << round;
  }
  std::printf("crash storm: %d-byte profile, run %lld us; %d killed, %d finished first; "
              "%d kept the old file, %d the new, %d left a temporary\n",
              static_cast<int>(old.size()), static_cast<long long>(runTime.count()), kills,
              finished, keptOld, becameNew, temporaryLeft);
  EXPECT_GT(kills, 0);
}

TEST(ConcurrentWriters, NoUpdateIsLostAmongSixteenWritersAndTheUtility) {
  testing_support::TempDir dir;
  const std::string profile = dir / "win.ini";
  WriteFile(profile, "[windows]\r\nDevice=Old,winspool,LPT1:\r\n");
  const std::string go = dir / "go";
  const std::map<std::string, std::string> env = {{"WININI", profile}};
  const testing_support::ScopedEnv profileVariable("WININI", profile);
  constexpr int kWriters = 16, kKeys = 100;

  std::vector<std::unique_ptr<testing_support::BackgroundProcess>> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.push_back(std::make_unique<testing_support::BackgroundProcess>(
        PROFILE_WRITER_PATH,
        std::vector<std::string>{"w" + std::to_string(w) + "k", std::to_string(kKeys), go},
        env));
  }
  WriteFile(go, "");
  // The utility runs again and again while the writers work.
  int utilityRuns = 0;
  for (; utilityRuns < 10; ++utilityRuns) {
    testing_support::ProcessOptions options;
    options.env = env;
    const auto result = testing_support::RunProcess(DEFPRINTER_PATH, options);
    ASSERT_EQ(result.status, 0);
    // Put the old device back now and then, so later runs write too.
    if (utilityRuns % 2 == 0) {
      ASSERT_NE(WriteProfileStringA("windows", "Device", "Old,winspool,LPT1:"), 0);
    }
  }
  testing_support::ProcessOptions last;
  last.env = env;
  ASSERT_EQ(testing_support::RunProcess(DEFPRINTER_PATH, last).status, 0);
  for (auto& writer : writers) EXPECT_EQ(writer->WaitExit(120s), 0);

  const std::string bytes = ReadFile(profile);
  const platform::posix::ProfileDocument document(bytes, *platform::CodePageFor(1252));
  EXPECT_EQ(document.Value("windows", "Device"), kDevice);
  std::set<std::string> keys;
  int keyLines = 0;
  document.VisitKeyNames("stress", [&](std::string_view name) {
    keys.emplace(name);
    ++keyLines;
    return true;
  });
  EXPECT_EQ(keyLines, kWriters * kKeys);
  EXPECT_EQ(keys.size(), static_cast<std::size_t>(kWriters * kKeys));
  for (int w = 0; w < kWriters; ++w) {
    for (int k = 0; k < kKeys; ++k) {
      const std::string key = "w" + std::to_string(w) + "k" + std::to_string(k);
      ASSERT_EQ(document.Value("stress", key),
                "last-w" + std::to_string(w) + "k-" + std::to_string(k))
          << key;
    }
  }
  // The file parses: two sections, and every line is a header or a key.
  int sections = 0;
  document.VisitSectionNames([&](std::string_view) { return ++sections, true; });
  EXPECT_EQ(sections, 2);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 2 + 1 + kWriters * kKeys);
  std::printf("concurrent writers: %d writers x %d keys, twice each, with %d utility runs\n",
              kWriters, kKeys, utilityRuns + 1);
}

}  // namespace
