// Profiles a user may really have, or an attacker may plant: the store and
// the utility either write keeping every other byte, or fail leaving the
// file as it was. Never a crash, never unbounded memory.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "platform/posix/profile_store.h"
#include "tests/support/one_edit.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::posix::DefaultFileSystem;
using platform::posix::ProfileFile;
using platform::posix::ProfileStore;
using testing_support::OneEditViolation;
using testing_support::ReadFile;
using testing_support::WriteFile;

constexpr const char* kDevice = "Quillmarex,winspool,Ne01:";

class HostileProfileTest : public testing::Test {
 protected:
  std::int32_t WriteDevice() {
    ProfileFile file(path, DefaultFileSystem());
    return ProfileStore(file, *platform::CodePageFor(1252)).Write("windows", "Device", kDevice);
  }

  std::string ReadDevice() {
    ProfileFile file(path, DefaultFileSystem());
    char buffer[64];
    ProfileStore(file, *platform::CodePageFor(1252))
        .Get("windows", "Device", "(none)", buffer, sizeof(buffer));
    return buffer;
  }

  // The store's write, then the real utility's, on a copy of `bytes`; both
  // must succeed keeping every other byte, or (`refused`) fail leaving it.
  void ExpectSafeWrite(const std::string& bytes, bool refused) {
    for (const bool byUtility : {false, true}) {
      SCOPED_TRACE(byUtility ? "by the utility" : "by the store");
      WriteFile(path, bytes);
      if (byUtility) {
        testing_support::ProcessOptions options;
        options.env = {{"WININI", path}};
        const auto result = testing_support::RunProcess(DEFPRINTER_PATH, options);
        EXPECT_TRUE(result.exited);
        EXPECT_EQ(result.status, 0);
      } else {
        EXPECT_EQ(WriteDevice(), refused ? 0 : 1);
      }
      const std::string after = ReadFile(path);
      if (refused) {
        EXPECT_EQ(after, bytes);
      } else {
        EXPECT_EQ(OneEditViolation(bytes, after), std::nullopt);
        EXPECT_EQ(ReadDevice(), kDevice);
      }
      const std::string listing = dir.Listing();
      EXPECT_TRUE(listing == "win.ini\n" || listing == "win.ini\nwin.ini.lock\n") << listing;
    }
  }

  testing_support::TempDir dir;
  std::string path = dir / "win.ini";
};

TEST_F(HostileProfileTest, EveryCorpusFileIsWrittenSafelyOrRefused) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(CORPUS_DIR)) {
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    ExpectSafeWrite(ReadFile(entry.path().string()), name.rfind("refused-", 0) == 0);
    ++files;
  }
  EXPECT_GE(files, 10);
}

TEST_F(HostileProfileTest, AUtf8ByteOrderMarkIsNotPartOfTheFirstSection) {
  WriteFile(path, "\xEF\xBB\xBF[windows]\r\nDevice=old\r\n");
  ASSERT_EQ(WriteDevice(), 1);
  EXPECT_EQ(ReadFile(path), "\xEF\xBB\xBF[windows]\r\nDevice=Quillmarex,winspool,Ne01:\r\n");
}

TEST_F(HostileProfileTest, AOneMegabyteLineIsKept) {
  std::mt19937 random(7);
  std::string line(1 << 20, 'x');
  for (char& c : line) c = static_cast<char>('a' + random() % 26);
  ExpectSafeWrite("[windows]\r\nload=" + line + "\r\nDevice=old\r\n", false);
  ExpectSafeWrite("[junk]\r\n" + line, false);
}

TEST_F(HostileProfileTest, AFileLargerThanTheBoundIsRefusedUnread) {
  // A sparse file: 64 MiB and one byte, costing no disk.
  WriteFile(path, "[windows]\r\nDevice=old\r\n");
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(ProfileFile::kMaxBytes) + 1), 0);
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  EXPECT_EQ(WriteDevice(), 0);
  EXPECT_EQ(ReadDevice(), "(none)");
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_size, before.st_size);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(dir.Listing(), "win.ini\n");
}

// Paths that lead to no regular file: refused, nothing followed or made.
TEST_F(HostileProfileTest, WhatIsNotARegularFileIsRefused) {
  const std::string target = dir / "target";
  const struct {
    const char* what;
    std::function<void()> make;
  } cases[] = {
      {"a FIFO", [&] { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }},
      {"a folder", [&] { std::filesystem::create_directory(path); }},
      {"a dangling link", [&] { std::filesystem::create_symlink(target, path); }},
      {"a link to a FIFO",
       [&] {
         ASSERT_EQ(mkfifo(target.c_str(), 0600), 0);
         std::filesystem::create_symlink(target, path);
       }},
      {"a link to a folder",
       [&] {
         std::filesystem::create_directory(target);
         std::filesystem::create_symlink(target, path);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(path);
    std::filesystem::remove_all(target);
    c.make();
    const std::string listing = dir.Listing();
    EXPECT_EQ(WriteDevice(), 0);
    EXPECT_EQ(ReadDevice(), "(none)");
    EXPECT_EQ(dir.Listing(), listing);
    EXPECT_FALSE(std::filesystem::is_regular_file(target));
  }
}

}  // namespace
