// The profile store: what the two profile calls do to and read from a real
// file, what they refuse, and that a write is all or nothing.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
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
                    Refusal{"win]dows", "k", "v"}, Refusal{"", "k", "v"}, Refusal{" \t", "k", "v"},
                    Refusal{"windows", "", "v"}, Refusal{"windows", "  ", "v"},
                    Refusal{nullptr, "k", "v"}, Refusal{"windows", "Dev\nice", nullptr},
                    Refusal{"win\rdows", nullptr, nullptr}));

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

// A write that would change nothing makes nothing: no folder, no lock file.
TEST_F(ProfileStoreTest, RemovingFromAProfileWhoseFolderIsAbsentMakesNoFolder) {
  path = dir / "not/yet/win.ini";
  EXPECT_EQ(Write("windows", "Device", nullptr), 1);
  EXPECT_EQ(Write("windows", nullptr, nullptr), 1);
  EXPECT_EQ(dir.Listing(), "");
}

// A profile without its owner's write bit is not to be changed, by anyone,
// root included; the call fails and says why.
TEST_F(ProfileStoreTest, AReadOnlyProfileIsLeftAsItIs) {
  const std::string before = "[windows]\r\nDevice=old\r\n";
  for (const mode_t mode : {0400, 0444, 0455}) {
    SCOPED_TRACE(mode);
    WriteFile(path, before);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    ProfileFile file(path, DefaultFileSystem());
    platform::posix::Status status;
    EXPECT_EQ(ProfileStore(file, Page1252()).Write("windows", "Device", "new", &status), 0);
    EXPECT_EQ(status.code(), EACCES);
    EXPECT_EQ(ReadFile(path), before);
    // Writing what it already holds is no change, and succeeds.
    EXPECT_EQ(Write("windows", "Device", "old"), 1);
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  }
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

// Only a writer holding the lock has a temporary file, so one found then
// was left by a killed writer: removed when it is ours, left alone when it
// is anything else, and never in the way.
TEST_F(ProfileStoreTest, AStaleTemporaryOfOursIsRemovedAndNothingElseIsTouched) {
  WriteFile(path, "[w]\nk=1\n");
  const std::string prefix = ProfileFile::TemporaryPrefixFor(path);
  {
    platform::posix::UniqueFd stale;
    ASSERT_EQ(DefaultFileSystem().CreateExclusive(prefix + "0123456789abcdef", 0600, &stale), 0);
    ASSERT_EQ(write(stale.get(), "half a", 6), 6);
  }
  // Named like ours, but not made by this program: a file and a folder.
  WriteFile(prefix + "notours", "someone's notes");
  std::filesystem::create_directory(prefix + "folder");
  WriteFile(path + ".tmp", "an older program's temporary");
  ASSERT_EQ(Write("w", "k", "2"), 1);
  EXPECT_EQ(ReadFile(path), "[w]\nk=2\n");
  EXPECT_EQ(ReadFile(prefix + "notours"), "someone's notes");
  EXPECT_EQ(dir.Listing(),
            "win.ini\nwin.ini.lock\nwin.ini.tmp\nwin.ini.tmp-folder\nwin.ini.tmp-notours\n");
  EXPECT_EQ(Write("w", "k", "3"), 1);
  EXPECT_EQ(ReadFile(path), "[w]\nk=3\n");
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

// What a write left, after faults: the call's result must say what the file
// holds (1: the new bytes, 0: the old ones), and no temporary may remain.
class FaultTest : public ProfileStoreTest {
 protected:
  const std::string before = "; keep\r\n[windows]\r\nDevice=Old,winspool,LPT1:\r\nx=1\r\n";
  const std::string after = "; keep\r\n[windows]\r\nDevice=New\r\nx=1\r\n";

  // Runs one write with `faulty`; returns its result after checking it
  // against the file.
  std::int32_t WriteAndCheck(testing_support::FaultyFileSystem& faulty, const std::string& where,
                             platform::posix::Status* status) {
    WriteFile(path, before);
    ProfileFile file(path, faulty);
    const std::int32_t result =
        ProfileStore(file, Page1252()).Write("windows", "Device", "New", status);
    EXPECT_EQ(ReadFile(path), result == 1 ? after : before) << where;
    const auto& failed = faulty.failedSteps();
    if (std::find(failed.begin(), failed.end(), "Remove") != failed.end()) {
      // A temporary whose removal failed is left; the next write removes it.
      ProfileFile next(path, DefaultFileSystem());
      EXPECT_EQ(ProfileStore(next, Page1252()).Write("windows", "x", "2"), 1) << where;
    }
    const std::string listing = dir.Listing();
    EXPECT_TRUE(listing == "win.ini\n" || listing == "win.ini\nwin.ini.lock\n")
        << where << ": " << listing;
    return result;
  }
};

// Every step of a write fails in turn, with each kind of error; each time
// the call fails cleanly, naming the step, and the next write succeeds. Only
// the clean-up of stale temporaries may fail without failing the write.
TEST_F(FaultTest, AFailureAtAnyStepLeavesTheOldFileAndNoTemporary) {
  std::set<std::string> failedSteps;
  int faults = 0;
  for (const int error : {ENOSPC, EIO, EACCES}) {
    for (int step = 1;; ++step) {
      testing_support::FaultyFileSystem faulty(step, error);
      platform::posix::Status status;
      const std::string where = "step " + std::to_string(step) + ", errno " + std::to_string(error);
      const std::int32_t result = WriteAndCheck(faulty, where, &status);
      if (faulty.failed().empty()) {
        // No step was left to fail: this write went through.
        EXPECT_EQ(result, 1);
        EXPECT_TRUE(status.ok());
        break;
      }
      ++faults;
      const std::string what = where + " (" + faulty.failed() + ")";
      if (faulty.failed() != "ListNames") {
        EXPECT_EQ(result, 0) << what;
        EXPECT_EQ(status.code(), error) << what;
        EXPECT_FALSE(status.step().empty()) << what;
        failedSteps.insert(faulty.failed());
      }
      EXPECT_EQ(Write("windows", "Device", "New"), 1) << "the write after " << what;
      EXPECT_EQ(ReadFile(path), after) << "the write after " << what;
    }
  }
  for (const char* step : {"ResolveLinks", "OpenDirectory", "OpenLockFile", "LockExclusive",
                           "OpenForRead", "Stat", "Read", "CreateExclusive", "Write", "Sync",
                           "Close", "Rename", "SyncDirectory"}) {
    EXPECT_EQ(failedSteps.count(step), 1u) << step << " never failed a write";
  }
  std::printf("fault injection: %d single-step faults over %zu kinds of step\n", faults,
              failedSteps.size());
}

// Two steps fail, in every pair: above all the flush of the folder and then
// the undoing of the rename. The result still tells which bytes the file
// holds; a change that could not be undone is reported as in place, with
// the step that failed.
TEST_F(FaultTest, DoubleFaultsAreReportedAsWhatIsOnDisk) {
  testing_support::FaultyFileSystem clean(std::set<int>{}, 0);
  platform::posix::Status ignored;
  ASSERT_EQ(WriteAndCheck(clean, "no fault", &ignored), 1);
  const int steps = clean.calls() + 12;  // room for the steps of an undo
  int pairs = 0;
  int keptAfterUndoFailed = 0;
  for (int first = 1; first <= steps; ++first) {
    for (int second = first + 1; second <= steps; ++second) {
      testing_support::FaultyFileSystem faulty({first, second}, EIO);
      platform::posix::Status status;
      const std::string where = "steps " + std::to_string(first) + " and " + std::to_string(second);
      const std::int32_t result = WriteAndCheck(faulty, where, &status);
      if (faulty.failedSteps().size() < 2) continue;
      ++pairs;
      if (faulty.failedSteps().front() == "SyncDirectory" && result == 1) {
        ++keptAfterUndoFailed;
        EXPECT_EQ(status.step(), "sync folder") << where;
        EXPECT_EQ(status.code(), EIO) << where;
      }
    }
  }
  EXPECT_GT(keptAfterUndoFailed, 0) << "no undo was ever made to fail";
  std::printf("double faults: %d pairs, %d left the change in place\n", pairs,
              keptAfterUndoFailed);
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
