// The real defprinter executable, run against temporary profiles.

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using testing_support::ProcessOptions;
using testing_support::ProcessResult;
using testing_support::ReadFile;
using testing_support::RunProcess;
using testing_support::WriteFile;

class DefprinterTest : public testing::Test {
 protected:
  ProcessResult Run(ProcessOptions options = {}) {
    options.env.emplace("WININI", profile);
    return RunProcess(DEFPRINTER_PATH, options);
  }

  static void ExpectSilentSuccess(const ProcessResult& result) {
    EXPECT_TRUE(result.exited) << (result.timedOut ? "timed out" : "killed");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
  }

  testing_support::TempDir dir;
  std::string profile = dir / "win.ini";
};

struct ProfileCase {
  const char* name;
  std::string before;
  std::string after;
};

void PrintTo(const ProfileCase& c, std::ostream* os) { *os << c.name; }

class SetsTheDevice : public DefprinterTest, public testing::WithParamInterface<ProfileCase> {};

TEST_P(SetsTheDevice, ChangingOnlyTheDeviceLine) {
  WriteFile(profile, GetParam().before);
  ExpectSilentSuccess(Run());
  EXPECT_EQ(ReadFile(profile), GetParam().after);
  // The lock file that every writer of the profile takes stays beside it.
  EXPECT_EQ(dir.Listing(), GetParam().before == GetParam().after ? "win.ini\n"
                                                                 : "win.ini\nwin.ini.lock\n");
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, SetsTheDevice,
    testing::Values(
        ProfileCase{
            "ReplacesAnOldDeviceWithCrLf",
            "; for 16-bit app support\r\n[fonts]\r\n[windows]\r\nload=\r\n"
            "Device=Old,winspool,LPT1:\r\nrun=\r\n\r\n[mci extensions]\r\nwav=1\r\n",
            "; for 16-bit app support\r\n[fonts]\r\n[windows]\r\nload=\r\n"
            "Device=Quillmarex,winspool,Ne01:\r\nrun=\r\n\r\n[mci extensions]\r\nwav=1\r\n"},
        ProfileCase{"KeepsLfEndings", "[windows]\nDevice=x\n[other]\nDevice=y\n",
                    "[windows]\nDevice=Quillmarex,winspool,Ne01:\n[other]\nDevice=y\n"},
        ProfileCase{"MatchesNamesWithoutRegardToCaseOrBlanks", "[Windows]\r\n  device = old  \r\n",
                    "[Windows]\r\n  device = Quillmarex,winspool,Ne01:\r\n"},
        ProfileCase{"KeepsNonAsciiBytesAndAMissingFinalLineEnd",
                    "[d\xe9j\xe0]\r\nk=\x93\xfa\x96\x7b\r\n[windows]\r\nDevice=old",
                    "[d\xe9j\xe0]\r\nk=\x93\xfa\x96\x7b\r\n[windows]\r\nDevice=Quillmarex,winspool,"
                    "Ne01:"},
        ProfileCase{"AddsTheKeyWhenTheSectionLacksIt",
                    "[windows]\r\nload=\r\nrun=\r\n\r\n[ports]\r\nNe01:=\r\n",
                    "[windows]\r\nload=\r\nrun=\r\nDevice=Quillmarex,winspool,Ne01:\r\n\r\n"
                    "[ports]\r\nNe01:=\r\n"},
        ProfileCase{"AddsTheSectionWhenAbsent", "[ports]\nNe01:=\n",
                    "[ports]\nNe01:=\n[windows]\nDevice=Quillmarex,winspool,Ne01:\n"},
        ProfileCase{"AlreadySetLeavesTheFileAlone",
                    "[windows]\r\nDevice=Quillmarex,winspool,Ne01:\r\n",
                    "[windows]\r\nDevice=Quillmarex,winspool,Ne01:\r\n"},
        ProfileCase{"WritesAnEmptyFile", "", "[windows]\r\nDevice=Quillmarex,winspool,Ne01:\r\n"}),
    [](const testing::TestParamInfo<ProfileCase>& info) { return info.param.name; });

TEST_F(DefprinterTest, CreatesTheProfileWhenThereIsNone) {
  profile = dir / "new/win.ini";
  ExpectSilentSuccess(Run());
  EXPECT_EQ(ReadFile(profile), "[windows]\r\nDevice=Quillmarex,winspool,Ne01:\r\n");
}

TEST_F(DefprinterTest, UsesTheDefaultProfileUnderXdgConfigHome) {
  ProcessOptions options;
  options.unsetEnv = {"WININI"};
  options.env = {{"XDG_CONFIG_HOME", dir.path().string()}};
  const ProcessResult result = RunProcess(DEFPRINTER_PATH, options);
  ExpectSilentSuccess(result);
  EXPECT_EQ(ReadFile(dir / "winprofile/win.ini"),
            "[windows]\r\nDevice=Quillmarex,winspool,Ne01:\r\n");
}

// A relative path would name a different file in every folder the program
// starts in: relative WININI, XDG_CONFIG_HOME and XDG_RUNTIME_DIR are
// ignored.
TEST_F(DefprinterTest, IgnoresRelativeProfileVariables) {
  ProcessOptions options;
  options.env = {{"WININI", "relative/win.ini"},
                 {"XDG_CONFIG_HOME", "config"},
                 {"XDG_RUNTIME_DIR", "runtime"},
                 {"HOME", dir.path().string()}};
  const std::string here = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const ProcessResult result = RunProcess(DEFPRINTER_PATH, options);
  std::filesystem::current_path(here);
  ExpectSilentSuccess(result);
  EXPECT_EQ(ReadFile(dir / ".config/winprofile/win.ini"),
            "[windows]\r\nDevice=Quillmarex,winspool,Ne01:\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "relative"));
  EXPECT_FALSE(std::filesystem::exists(dir / "config"));
  EXPECT_FALSE(std::filesystem::exists(dir / "runtime"));
}

// profilectl says which profile, which step and why; defprinter says nothing.
TEST_F(DefprinterTest, ProfilectlNamesTheFailingStepAndItsCause) {
  const std::string folder = dir / "open";
  std::filesystem::create_directory(folder);
  ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
  profile = folder + "/win.ini";
  const struct {
    std::vector<std::string> args;
    std::string said;
  } cases[] = {
      {{"set", "windows", "Device", "x"},
       "profilectl: cannot write " + profile + ": folder " + folder +
           " may be written by others: Operation not permitted\n"},
      {{"set", "win]dows", "Device", "x"},
       "profilectl: cannot write " + profile +
           ": store that section name: Invalid argument\n"},
  };
  for (const auto& c : cases) {
    ProcessOptions options;
    options.env = {{"WININI", profile}};
    options.args = c.args;
    const ProcessResult result = RunProcess(PROFILECTL_PATH, options);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, c.said);
  }
  ExpectSilentSuccess(Run());
  EXPECT_EQ(dir.Listing(), "open\n");
}

TEST_F(DefprinterTest, AProfileThatCannotBeWrittenIsLeftAloneAndTheProgramStillEnds) {
  // A folder that is a regular file stops root as well as anyone.
  WriteFile(dir / "folder", "[windows]\r\nDevice=Old\r\n");
  profile = dir / "folder/win.ini";
  ExpectSilentSuccess(Run());
  EXPECT_EQ(ReadFile(dir / "folder"), "[windows]\r\nDevice=Old\r\n");
  EXPECT_EQ(dir.Listing(), "folder\n");
}

TEST_F(DefprinterTest, IgnoresArgumentsAndNeverReadsStandardInput) {
  WriteFile(profile, "[windows]\nDevice=old\n");
  ProcessOptions options;
  options.args = {"/?", "--help", "Other,winspool,LPT1:"};
  options.stdinNeverCloses = true;
  options.timeout = std::chrono::seconds(10);
  ExpectSilentSuccess(Run(options));
  EXPECT_EQ(ReadFile(profile), "[windows]\nDevice=Quillmarex,winspool,Ne01:\n");
}

TEST_F(DefprinterTest, ADoubleBytePageLeavesTheOtherBytesAlone) {
  // 0x83 0x5D is one katakana in 932, its second byte a "]".
  WriteFile(profile, "[\x83\x5D]\r\nDevice=x\r\n[windows]\r\nDevice=old\r\n");
  ProcessOptions options;
  options.env = {{"ANSI_CODEPAGE", "932"}};
  ExpectSilentSuccess(Run(options));
  EXPECT_EQ(ReadFile(profile),
            "[\x83\x5D]\r\nDevice=x\r\n[windows]\r\nDevice=Quillmarex,winspool,Ne01:\r\n");
}

}  // namespace
