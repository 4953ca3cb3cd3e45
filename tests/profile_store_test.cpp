// The profile store: what the two profile calls do to and read from a real
// file, what they refuse, and that a write is all or nothing.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/posix/profile_store.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::posix::DefaultFileSystem;
using platform::posix::FileSystem;
using platform::posix::ProfileFile;
using platform::posix::ProfileStore;
using testing_support::ReadFile;
using testing_support::WriteFile;

const platform::CodePage& Page1252() { return *platform::CodePageFor(1252); }

class ProfileStoreTest : public testing::Test {
 protected:
  std::int32_t Write(const char* section, const char* key, const char* value,
                     FileSystem& fileSystem = DefaultFileSystem()) {
    ProfileFile file(path, fileSystem);
    return ProfileStore(file, Page1252()).Write(section, key, value);
  }

  // GetProfileStringA into a buffer of `size` bytes, all of it returned.
  std::string Get(const char* section, const char* key, const char* fallback,
                  std::uint32_t size, std::uint32_t* count) {
    std::string buffer(size, '#');
    ProfileFile file(path, DefaultFileSystem());
    *count = ProfileStore(file, Page1252()).Get(section, key, fallback, buffer.data(), size);
    return buffer;
  }

  testing_support::TempDir dir;
  std::string path = dir / "win.ini";
};

struct Refusal {
  const char* section;
  const char* key;
  const char* value;
};

void PrintTo(const Refusal& c, std::ostream* os) {
  *os << (c.section ? "section" : "null section") << ", " << (c.key ? "key" : "null key");
}

class Refused : public ProfileStoreTest, public testing::WithParamInterface<Refusal> {};

TEST_P(Refused, ReturnsZeroAndLeavesTheFileByteForByte) {
  const std::string before = "; mine\r\n[windows]\r\nDevice=Old,winspool,LPT1:\r\n";
  WriteFile(path, before);
  EXPECT_EQ(Write(GetParam().section, GetParam().key, GetParam().value), 0);
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(dir.Listing(), "win.ini\n");
}

INSTANTIATE_TEST_SUITE_P(
    UnsafeNamesAndValues, Refused,
    testing::Values(Refusal{"win\ndows", "Device", "v"}, Refusal{"windows", "Dev\rice", "v"},
                    Refusal{"windows", "Device", "a\r\n[evil]\r\nx=1"},
                    Refusal{"windows", "Device", "a\nb"}, Refusal{"windows", "a=b", "v"},
                    Refusal{"windows", "[evil]", "v"}, Refusal{"windows", " ;x", "v"},
                    Refusal{"win]dows", "k", "v"}, Refusal{"", "k", "v"},
                    Refusal{" \t", "k", "v"}, Refusal{"windows", "", "v"},
                    Refusal{"windows", "  ", "v"}, Refusal{nullptr, "k", "v"},
                    Refusal{"windows", "Dev\nice", nullptr}, Refusal{"win\rdows", nullptr, nullptr}));

TEST_F(ProfileStoreTest, RemovesAKeyForANullValueAndASectionForANullKey) {
  WriteFile(path, "[a]\nx=1\n[windows]\nDevice=d\nother=o\n[b]\ny=2\n");
  EXPECT_EQ(Write("windows", "device", nullptr), 1);
  EXPECT_EQ(ReadFile(path), "[a]\nx=1\n[windows]\nother=o\n[b]\ny=2\n");
  EXPECT_EQ(Write("WINDOWS", nullptr, nullptr), 1);
  EXPECT_EQ(ReadFile(path), "[a]\nx=1\n[b]\ny=2\n");
  // Removing what is not there succeeds and changes nothing.
  EXPECT_EQ(Write("windows", nullptr, nullptr), 1);
  EXPECT_EQ(Write("a", "absent", nullptr), 1);
  EXPECT_EQ(ReadFile(path), "[a]\nx=1\n[b]\ny=2\n");
}

TEST_F(ProfileStoreTest, RemovingFromNoFileMakesNoFile) {
  EXPECT_EQ(Write("windows", "Device", nullptr), 1);
  EXPECT_EQ(Write("windows", nullptr, nullptr), 1);
  EXPECT_EQ(dir.Listing(), "");
}

TEST_F(ProfileStoreTest, ANewFileIsPrivateAndSoIsANewFolder) {
  path = dir / "made/for/it/win.ini";
  ASSERT_EQ(Write("windows", "Device", "d"), 1);
  EXPECT_EQ(ReadFile(path), "[windows]\r\nDevice=d\r\n");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  ASSERT_EQ(stat((dir / "made/for/it").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST_F(ProfileStoreTest, AnExistingFileKeepsItsMode) {
  WriteFile(path, "[w]\nk=1\n");
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  ASSERT_EQ(Write("w", "k", "2"), 1);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST_F(ProfileStoreTest, ALinkIsFollowedAndTheFileItLeadsToIsReplaced) {
  const std::string real = dir / "real.ini";
  WriteFile(real, "[w]\nk=1\n");
  ASSERT_EQ(symlink("real.ini", path.c_str()), 0);
  ASSERT_EQ(Write("w", "k", "2"), 1);
  EXPECT_TRUE(std::filesystem::is_symlink(path));
  EXPECT_EQ(ReadFile(real), "[w]\nk=2\n");
}

TEST_F(ProfileStoreTest, WhatIsNotARegularFileIsRefusedWithoutWaiting) {
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(Write("w", "k", "v"), 0);
  std::uint32_t count = 0;
  EXPECT_EQ(Get("w", "k", "dflt", 8, &count).substr(0, 5), std::string("dflt\0", 5));
  EXPECT_TRUE(std::filesystem::is_fifo(path));
}

TEST_F(ProfileStoreTest, AFolderThatIsAFileFailsTheWrite) {
  WriteFile(dir / "folder", "not a folder");
  path = dir / "folder/win.ini";
  EXPECT_EQ(Write("windows", "Device", "d"), 0);
  EXPECT_EQ(ReadFile(dir / "folder"), "not a folder");
}

TEST_F(ProfileStoreTest, ATemporaryFileLeftByAKilledWriterIsReplaced) {
  WriteFile(path, "[w]\nk=1\n");
  WriteFile(ProfileFile::TemporaryPathFor(path), "half a file");
  ASSERT_EQ(Write("w", "k", "2"), 1);
  EXPECT_EQ(ReadFile(path), "[w]\nk=2\n");
  EXPECT_EQ(dir.Listing(), "win.ini\n");
}

TEST_F(ProfileStoreTest, AnUnchangedValueWritesNothing) {
  WriteFile(path, "[w]\nk=1\n");
  const auto before = std::filesystem::last_write_time(path);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  const ino_t inode = st.st_ino;
  ASSERT_EQ(Write("w", "k", "1"), 1);
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_ino, inode);
  EXPECT_EQ(std::filesystem::last_write_time(path), before);
}

// Every step of a write fails in turn, with each kind of error; each time
// the call fails cleanly and the next write succeeds.
TEST_F(ProfileStoreTest, AFailureAtAnyStepLeavesTheOldFileAndNoTemporary) {
  const std::string before = "; keep\r\n[windows]\r\nDevice=Old,winspool,LPT1:\r\nx=1\r\n";
  const std::string after = "; keep\r\n[windows]\r\nDevice=New\r\nx=1\r\n";
  std::set<std::string> failedSteps;
  int faults = 0;
  for (const int error : {ENOSPC, EIO, EACCES}) {
    for (int step = 1;; ++step) {
      WriteFile(path, before);
      testing_support::FaultyFileSystem faulty(step, error);
      const std::int32_t result = Write("windows", "Device", "New", faulty);
      if (faulty.failed().empty()) {
        // No step was left to fail: this write went through.
        EXPECT_EQ(result, 1);
        EXPECT_EQ(ReadFile(path), after);
        break;
      }
      ++faults;
      failedSteps.insert(faulty.failed());
      const std::string where = "step " + std::to_string(step) + " (" + faulty.failed() +
                                "), errno " + std::to_string(error);
      EXPECT_EQ(result, 0) << where;
      EXPECT_EQ(ReadFile(path), before) << where;
      EXPECT_EQ(dir.Listing(), "win.ini\n") << where;
      EXPECT_EQ(Write("windows", "Device", "New"), 1) << "the write after " << where;
      EXPECT_EQ(ReadFile(path), after) << "the write after " << where;
    }
  }
  for (const char* step : {"ResolveLinks", "CreateDirectories", "OpenDirectory", "LockExclusive",
                           "OpenForRead", "Stat", "Read", "CreateExclusive", "Write", "Sync",
                           "Close", "Rename", "SyncDirectory"}) {
    EXPECT_EQ(failedSteps.count(step), 1u) << step << " was never made to fail";
  }
  std::printf("fault injection: %d single-step faults over %zu kinds of step\n", faults,
              failedSteps.size());
}

// The key list with the buffer sizes around each cut.
struct ListCase {
  std::uint32_t size;
  std::string expected;  // the buffer's first `size` bytes
  std::uint32_t count;
};

void PrintTo(const ListCase& c, std::ostream* os) { *os << "nSize " << c.size; }

class KeyList : public ProfileStoreTest, public testing::WithParamInterface<ListCase> {};

TEST_P(KeyList, FollowsTheTruncationRuleOfTheRealCall) {
  WriteFile(path, "[w]\na=1\nbb=2\nccc=3\n[x]\nz=1\n");
  std::uint32_t count = 0;
  EXPECT_EQ(Get("w", nullptr, "", GetParam().size, &count), GetParam().expected);
  EXPECT_EQ(count, GetParam().count);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, KeyList,
    testing::Values(ListCase{12, std::string("a\0bb\0ccc\0\0##", 12), 9},
                    ListCase{10, std::string("a\0bb\0ccc\0\0", 10), 9},
                    // Does not fit: the last name is cut, two NULs, nSize - 2.
                    ListCase{9, std::string("a\0bb\0cc\0\0", 9), 7},
                    ListCase{4, std::string("a\0\0\0", 4), 2},
                    ListCase{3, std::string("a\0\0", 3), 1},
                    ListCase{2, std::string("\0\0", 2), 0}, ListCase{1, std::string("\0", 1), 0},
                    ListCase{0, "", 0}));

TEST_F(ProfileStoreTest, AnAbsentOrEmptySectionGivesAnEmptyList) {
  WriteFile(path, "[empty]\n; nothing\n[w]\nk=1\n");
  std::uint32_t count = 7;
  EXPECT_EQ(Get("absent", nullptr, "dflt", 4, &count), std::string("\0\0##", 4));
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Get("EMPTY", nullptr, "", 4, &count), std::string("\0\0##", 4));
  EXPECT_EQ(count, 0u);
}

TEST_F(ProfileStoreTest, ANullSectionListsTheSectionNames) {
  WriteFile(path, "k=0\n[one]\n[Two]\nk=1\n");
  std::uint32_t count = 0;
  EXPECT_EQ(Get(nullptr, nullptr, "", 10, &count), std::string("one\0Two\0\0#", 10));
  EXPECT_EQ(count, 8u);
}

struct ValueCase {
  const char* key;
  const char* fallback;
  std::uint32_t size;
  std::string expected;
  std::uint32_t count;
};

void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.key << ", nSize " << c.size; }

class ValueRead : public ProfileStoreTest, public testing::WithParamInterface<ValueCase> {};

TEST_P(ValueRead, ReturnsTheValueOrTheDefaultCutToNSizeMinusOne) {
  WriteFile(path, "[windows]\r\nDevice = Quillmarex \r\n");
  std::uint32_t count = 0;
  EXPECT_EQ(Get("Windows", GetParam().key, GetParam().fallback, GetParam().size, &count),
            GetParam().expected);
  EXPECT_EQ(count, GetParam().count);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ValueRead,
    testing::Values(ValueCase{"device", "", 12, std::string("Quillmarex\0#", 12), 10},
                    ValueCase{"device", "", 11, std::string("Quillmarex\0", 11), 10},
                    ValueCase{"device", "", 10, std::string("Quillmare\0", 10), 9},
                    ValueCase{"device", "", 1, std::string("\0", 1), 0},
                    ValueCase{"device", "", 0, "", 0},
                    // The default loses its trailing blanks.
                    ValueCase{"absent", "dflt \t ", 7, std::string("dflt\0##", 7), 4},
                    ValueCase{"absent", "default", 4, std::string("def\0", 4), 3},
                    ValueCase{"absent", nullptr, 3, std::string("\0##", 3), 0}));

TEST_F(ProfileStoreTest, AMissingProfileReadsAsEmpty) {
  std::uint32_t count = 0;
  EXPECT_EQ(Get("windows", "Device", "none", 6, &count), std::string("none\0#", 6));
  EXPECT_EQ(dir.Listing(), "");
}

}  // namespace
