// Other local users against the utility, acted out for real: a victim and an
// attacker, each a user id of its own (the tests switch to them from root),
// and root running with the victim's environment. The utility must always
// end, never write or remove a file the victim did not mean it to, and
// leave the victim's profile the victim's.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "tests/support/background_process.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using testing_support::BackgroundProcess;
using testing_support::kAttackerUser;
using testing_support::kVictimUser;
using testing_support::ProcessOptions;
using testing_support::ProcessResult;
using testing_support::ReadFile;
using testing_support::RunProcess;
using testing_support::WriteFile;

constexpr const char* kDevice = "Quillmarex,winspool,Ne01:";

class ThreatModelTest : public testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) {
      GTEST_SKIP() << "acting as other local users needs root (switching user ids); "
                      "run the tests as root to cover them";
    }
    // Everyone may pass through the test's folder, as through /home.
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    victimHome = MakeFolder("victim", kVictimUser, 0755);
    attackerHome = MakeFolder("attacker", kAttackerUser, 0755);
    shared = MakeFolder("shared", 0, 01777);  // like /tmp
  }

  std::string MakeFolder(const std::string& name, uid_t owner, mode_t mode) {
    const std::string path = dir / name;
    EXPECT_EQ(mkdir(path.c_str(), mode), 0);
    EXPECT_EQ(chown(path.c_str(), owner, owner), 0);
    EXPECT_EQ(chmod(path.c_str(), mode), 0);
    return path;
  }

  void MakeFile(const std::string& path, const std::string& bytes, uid_t owner,
                mode_t mode = 0600) {
    WriteFile(path, bytes);
    ASSERT_EQ(chown(path.c_str(), owner, owner), 0);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
  }

  // A symbolic link owned by `owner`.
  void MakeLink(const std::string& target, const std::string& path, uid_t owner) {
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    ASSERT_EQ(lchown(path.c_str(), owner, owner), 0);
  }

  ProcessResult Run(const std::string& program, const std::string& profile,
                    std::optional<uid_t> user, std::vector<std::string> args = {}) {
    ProcessOptions options;
    options.env = {{"WININI", profile}, {"HOME", victimHome}, {"XDG_RUNTIME_DIR", victimHome}};
    options.user = user;
    options.args = std::move(args);
    return RunProcess(program, options);
  }

  static void ExpectOwner(const std::string& path, uid_t owner, mode_t mode) {
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0) << path;
    EXPECT_EQ(st.st_uid, owner) << path;
    EXPECT_EQ(st.st_gid, owner) << path;
    EXPECT_EQ(st.st_mode & 07777, mode) << path;
  }

  testing_support::TempDir dir;
  std::string victimHome, attackerHome, shared;
};

// Before, the write blocked on a lock that anyone who could open the folder
// could hold: the utility never ended.
TEST_F(ThreatModelTest, AnotherUserHoldingLocksCannotMakeTheUtilityWait) {
  const std::string profile = victimHome + "/win.ini";
  MakeFile(profile, "[windows]\r\nDevice=old\r\n", kVictimUser, 0644);
  // Every lock the attacker can take: on the folder and on the profile.
  BackgroundProcess folderLock("/usr/bin/flock", {"-F", "-x", victimHome, "sleep", "60"}, {},
                               kAttackerUser);
  BackgroundProcess fileLock("/usr/bin/flock", {"-F", "-x", profile, "sleep", "60"}, {},
                             kAttackerUser);
  std::this_thread::sleep_for(200ms);

  const ProcessResult result = Run(DEFPRINTER_PATH, profile, kVictimUser);
  EXPECT_TRUE(result.exited) << "still waiting after " << result.elapsed.count() << " ms";
  EXPECT_EQ(result.status, 0);
  EXPECT_LT(result.elapsed, 3s);
  EXPECT_EQ(ReadFile(profile), std::string("[windows]\r\nDevice=") + kDevice + "\r\n");
}

// A writer of the victim's own that keeps the lock: the utility waits a few
// seconds, gives up on the write, still broadcasts, and ends.
TEST_F(ThreatModelTest, TheUsersOwnLockHolderDelaysTheUtilityABoundedTime) {
  const std::string profile = victimHome + "/win.ini";
  const std::string before = "[windows]\r\nDevice=old\r\n";
  MakeFile(profile, before, kVictimUser);
  MakeFile(profile + ".lock", "", kVictimUser);
  BackgroundProcess holder("/usr/bin/flock", {"-F", "-x", profile + ".lock", "sleep", "60"}, {},
                           kVictimUser);
  std::this_thread::sleep_for(200ms);
  const ProcessResult result = Run(DEFPRINTER_PATH, profile, kVictimUser);
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.status, 0);
  EXPECT_GE(result.elapsed, 4500ms);
  EXPECT_LT(result.elapsed, 8s);
  EXPECT_EQ(ReadFile(profile), before);

  const ProcessResult told = Run(PROFILECTL_PATH, profile, kVictimUser, {"set", "w", "k", "v"});
  EXPECT_EQ(told.status, 1);
  EXPECT_NE(told.err.find("cannot write " + profile + ": lock " + profile +
                          ".lock: Resource temporarily unavailable"),
            std::string::npos)
      << told.err;
}

// Profiles another user has a hand in: each is refused, and the victim's
// files (the one a link leads to, and one named like its temporary) are
// left byte for byte.
TEST_F(ThreatModelTest, APlantedLinkOrAFolderOthersControlIsRefused) {
  const std::string notes = victimHome + "/notes.txt";
  const std::string notesTemporary = notes + ".tmp";
  const struct {
    const char* what;
    std::function<std::string()> plant;  // returns the WININI the victim is given
  } cases[] = {
      {"another user's link in a folder open to all",
       [&] {
         MakeLink(notes, shared + "/win.ini", kAttackerUser);
         return shared + "/win.ini";
       }},
      {"another user's link to a folder, on the way",
       [&] {
         MakeLink(victimHome, shared + "/d", kAttackerUser);
         return shared + "/d/notes.txt";
       }},
      {"a profile of the victim's in a folder open to all",
       [&] {
         MakeFile(shared + "/win.ini", "[windows]\r\n", kVictimUser);
         return shared + "/win.ini";
       }},
      {"a profile in a folder of another user's",
       [&] {
         const std::string folder = MakeFolder("attacker/open", kAttackerUser, 0777);
         MakeFile(folder + "/win.ini", "[windows]\r\n", kVictimUser);
         return folder + "/win.ini";
       }},
      {"a profile in the victim's folder, made writable by everyone",
       [&] {
         const std::string folder = MakeFolder("victim/open", kVictimUser, 0777);
         MakeFile(folder + "/win.ini", "[windows]\r\n", kVictimUser);
         return folder + "/win.ini";
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(shared + "/win.ini");
    std::filesystem::remove_all(shared + "/d");
    std::filesystem::remove_all(dir / "attacker/open");
    std::filesystem::remove_all(dir / "victim/open");
    MakeFile(notes, "my notes\n", kVictimUser);
    MakeFile(notesTemporary, "my other notes\n", kVictimUser);
    const std::string profile = c.plant();
    const std::string planted =
        std::filesystem::is_symlink(profile) ? std::string() : ReadFile(profile);

    const ProcessResult result = Run(DEFPRINTER_PATH, profile, kVictimUser);
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(ReadFile(notes), "my notes\n");
    EXPECT_EQ(ReadFile(notesTemporary), "my other notes\n");
    if (!planted.empty()) {
      EXPECT_EQ(ReadFile(profile), planted);
    }

    const ProcessResult told = Run(PROFILECTL_PATH, profile, kVictimUser, {"set", "w", "k", "v"});
    EXPECT_EQ(told.status, 1);
    EXPECT_NE(told.err.find("Operation not permitted"), std::string::npos) << told.err;
    EXPECT_EQ(ReadFile(notes), "my notes\n");
  }
}

// Root with the victim's environment (sudo -E, su without -): what it
// replaces or makes in the victim's profile stays the victim's, so the
// victim's next write works.
TEST_F(ThreatModelTest, RootWithTheUsersEnvironmentLeavesTheProfileTheUsers) {
  const std::string existing = victimHome + "/win.ini";
  MakeFile(existing, "[windows]\r\nDevice=old\r\n", kVictimUser, 0640);
  // Absent, with its folders: all made by root.
  const std::string fresh = victimHome + "/.config/winprofile/win.ini";

  for (const std::string& profile : {existing, fresh}) {
    SCOPED_TRACE(profile);
    const ProcessResult asRoot = Run(DEFPRINTER_PATH, profile, std::nullopt);
    EXPECT_EQ(asRoot.status, 0);
    EXPECT_EQ(ReadFile(profile).find(kDevice) != std::string::npos, true);
    ExpectOwner(profile, kVictimUser, profile == existing ? 0640 : 0600);
    ExpectOwner(profile + ".lock", kVictimUser, 0600);
    const ProcessResult asVictim =
        Run(PROFILECTL_PATH, profile, kVictimUser, {"set", "windows", "Device", "mine"});
    EXPECT_EQ(asVictim.status, 0) << asVictim.err;
    EXPECT_NE(ReadFile(profile).find("Device=mine"), std::string::npos);
  }
  ExpectOwner(victimHome + "/.config", kVictimUser, 0700);
  ExpectOwner(victimHome + "/.config/winprofile", kVictimUser, 0700);
}

}  // namespace
