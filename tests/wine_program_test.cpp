// The Windows programs, run for real under Wine (an independent
// implementation of the Windows API, used as a black box): the 64-bit
// build of the same sources as the 32-bit product, in a fresh prefix.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/wine_prefix.h"

namespace {

using namespace std::chrono_literals;
using testing_support::BackgroundProcess;
using testing_support::ProcessResult;
using testing_support::WinePrefix;

const std::string kWindowsKey = "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const std::string kDefprinter = std::string(WIN64_DIR) + "/defprinter.exe";
const std::string kWinwatch = std::string(WIN64_DIR) + "/winwatch.exe";
const std::string kDefaultPrinter = std::string(WIN64_DIR) + "/default_printer.exe";
const std::string kHeard = "WM_WININICHANGE windows";

class WineProgramTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { prefix = new WinePrefix(); }
  static void TearDownTestSuite() {
    delete prefix;
    prefix = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(prefix->ready()) << prefix->problem(); }

  std::unique_ptr<BackgroundProcess> StartWatcher(std::vector<std::string> args) {
    auto watcher = prefix->Start(kWinwatch, std::move(args));
    EXPECT_EQ(watcher->ReadLine(20s), "ready");
    return watcher;
  }

  static WinePrefix* prefix;
};

WinePrefix* WineProgramTest::prefix = nullptr;

TEST_F(WineProgramTest, MakesQuillmarexTheDefaultPrinterAndTellsARunningProgram) {
  ASSERT_TRUE(prefix->SetRegistryValue(kWindowsKey, "Device", "Old,winspool,LPT1:"));
  ASSERT_TRUE(prefix->SetRegistryValue(kWindowsKey, "Spooler", "yes"));
  auto watcher = StartWatcher({"--count", "1"});

  const ProcessResult result = prefix->Run(kDefprinter);
  std::printf("defprinter.exe under Wine with one window listening: %lld ms\n",
              static_cast<long long>(result.elapsed.count()));
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(prefix->RegistryValue(kWindowsKey, "Device"), "Quillmarex,winspool,Ne01:");
  EXPECT_EQ(prefix->RegistryValue(kWindowsKey, "Spooler"), "yes");
  // A console program of Windows ends its lines with CR LF.
  EXPECT_EQ(prefix->Run(kDefaultPrinter).out, "Quillmarex\r\n");

  EXPECT_EQ(watcher->WaitExit(10s), 0);
  EXPECT_EQ(watcher->Output(), "ready\n" + kHeard + "\n");
}

// Before, SendMessageA to HWND_BROADCAST waited for a hung window for ever.
TEST_F(WineProgramTest, HungProgramsTogetherCostOneBoundAndTheAnsweringOneHears) {
  std::vector<std::unique_ptr<BackgroundProcess>> hung;
  for (int i = 0; i < 3; ++i) hung.push_back(StartWatcher({"--hang"}));
  auto answering = StartWatcher({"--count", "1"});

  const ProcessResult result = prefix->Run(kDefprinter, {}, 30s);
  EXPECT_TRUE(result.exited) << "still waiting after " << result.elapsed.count() << " ms";
  EXPECT_EQ(result.status, 0);
  EXPECT_LT(result.elapsed, 7s);
  std::printf("broadcast with three hung windows under Wine: defprinter.exe ended in %lld ms\n",
              static_cast<long long>(result.elapsed.count()));
  EXPECT_EQ(answering->WaitExit(10s), 0);
  EXPECT_EQ(answering->Output(), "ready\n" + kHeard + "\n");
  for (const auto& window : hung) EXPECT_EQ(window->Output(), "ready\n");
}

// Form1's routines, cross-built with GoogleTest, against Wine's profile
// calls: with the system code page 1252, and 932 (Japanese key names).
TEST_F(WineProgramTest, Form1sRoutinesPassAgainstWinesProfileOnBothCodePages) {
  for (const char* locale : {"C", "ja_JP.UTF-8"}) {
    SCOPED_TRACE(locale);
    const ProcessResult result =
        prefix->Run(std::string(WIN64_DIR) + "/form1_tests.exe", {}, 60s, {{"LC_ALL", locale}});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_NE(
        result.out.find("[  PASSED  ] " + std::string(locale[0] == 'C' ? "3" : "4") + " tests."),
        std::string::npos)
        << result.out;
  }
}

// One table of profile calls, made of our Linux store and of Wine's, on the
// same win.ini contents. The answers must agree, but for the differences
// docs/windows-fidelity.md names (the case says which); those must still
// differ, so the document stays true.
struct FidelityCase {
  const char* name;
  std::string file;
  std::vector<std::string> calls;    // profile_probe's arguments
  const char* difference = nullptr;  // the heading in docs/windows-fidelity.md
};

TEST_F(WineProgramTest, OurStoreAnswersAsWindowsDoButForTheNamedDifferences) {
  const std::vector<FidelityCase> cases = {
      {"key list that fits with room",
       "[s]\r\na=1\r\nbb=2\r\nccc=3\r\n",
       {"get", "s", "-", "", "12"}},
      {"key list that just fits",
       "[s]\r\na=1\r\nbb=2\r\nccc=3\r\n",
       {"get", "s", "-", "", "10"},
       "A key list that fills the buffer exactly"},
      {"key list cut short",
       "[s]\r\na=1\r\nbb=2\r\nccc=3\r\n",
       {"get", "s", "-", "", "9", "get", "s", "-", "", "4", "get", "s", "-", "", "3"},
       "How a cut key list ends"},
      {"values and defaults with blanks",
       "[s]\r\nk =  v  \r\n",
       {"get", "s", "k", "", "8", "get", "s", "absent", "d  ", "8", "get", "s", "absent", "-",
        "4"}},
      {"quoted values",
       "[s]\r\nq=\"quoted\"\r\nr='single'\r\nu=\"unbalanced\r\n",
       {"get", "s", "q", "", "12", "get", "s", "r", "", "12", "get", "s", "u", "", "14"}},
      {"blanks around names",
       "[ s ]\r\n  key  = v\r\n",
       {"get", "s", "key", "", "4", "get", " s ", " key ", "", "4"}},
      {"comments",
       ";c=1\r\n[s]\r\n;k=2\r\nk=3\r\n",
       {"get", "s", "k", "", "4", "get", "s", "-", "", "6"}},
      {"a comment asked for as a key",
       "[s]\r\n;k=2\r\n",
       {"get", "s", ";k", "", "4"},
       "A comment line asked for by name"},
      {"lines without =",
       "[s]\r\njunk\r\nk=1\r\n",
       {"get", "s", "-", "", "8", "get", "s", "junk", "dflt", "6"}},
      {"a line =x", "[s]\r\n=x\r\nk=1\r\n", {"get", "s", "-", "", "8"}, "A line with no key name"},
      {"duplicate keys and sections",
       "[s]\r\nk=1\r\nk=2\r\n[s]\r\nk=3\r\nj=4\r\n",
       {"get", "s", "k", "", "4", "get", "s", "j", "d", "4", "get", "s", "-", "", "8"}},
      {"case", "[S]\r\nKEY=v\r\n", {"get", "s", "key", "", "4"}},
      {"LF line ends",
       "[s]\nk=1\n[t]\nm=2\n",
       {"get", "s", "k", "", "4", "get", "t", "m", "", "4"}},
      {"CR line ends",
       "[s]\rk=1\r[t]\rm=2\r",
       {"get", "s", "k", "", "4", "get", "t", "m", "", "4"}},
      // Names beyond ASCII cannot travel on Wine's command line (it reads
      // it as UTF-8); Form1's test above lists Japanese names on 932.
      {"code-page bytes",
       "[s]\r\nk=\xE9\xFF\r\n\xC4\xE9=1\r\nj=2\r\n",
       {"get", "s", "k", "", "4", "get", "s", "j", "", "4"}},
      {"a value cut short",
       "[s]\r\nk=value\r\n",
       {"get", "s", "k", "", "4", "get", "s", "k", "", "1"}},
      {"an absent section's key list with a default",
       "[s]\r\nk=1\r\n",
       {"get", "absent", "-", "dflt", "8"},
       "The key list of an absent section"},
      // clang-format off
      {"writes read back",
       "[s]\r\nk=1\r\n",
       {"write", "s", "k", "v",     "get", "s", "k", "", "4",
        "write", "s", "new", "nv",  "get", "s", "new", "", "4",
        "write", "s", " k2 ", "x",  "get", "s", "k2", "", "4",
        "write", "t", "-", "-",
        "write", "s", "k", "-",     "get", "s", "-", "", "12"}},
      // clang-format on
      {"an empty key list",
       "[s]\r\nk=1\r\n[t]\r\n",
       {"get", "t", "-", "", "4", "get", "absent", "-", "", "4"},
       "An empty key list"},
      {"a key name that would read back as another",
       "[s]\r\n",
       {"write", "s", "k=", "v"},
       "Names that would change meaning"},
  };
  testing_support::TempDir dir;
  const std::string profile = dir / "win.ini";
  int differences = 0;
  for (const FidelityCase& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::WriteFile(profile, c.file);
    testing_support::WriteFile(prefix->WinIniPath(), c.file);
    testing_support::ProcessOptions options;
    options.env = {{"WININI", profile}};
    options.args = c.calls;
    const ProcessResult ours = testing_support::RunProcess(PROFILE_PROBE_PATH, options);
    ProcessResult windows = prefix->Run(std::string(WIN64_DIR) + "/profile_probe.exe", c.calls);
    std::erase(windows.out, '\r');
    ASSERT_EQ(ours.status, 0) << ours.err;
    ASSERT_EQ(windows.status, 0) << windows.err;
    if (c.difference == nullptr) {
      EXPECT_EQ(ours.out, windows.out);
    } else {
      ++differences;
      EXPECT_NE(ours.out, windows.out) << "no longer differs: " << c.difference;
      std::printf("named difference \"%s\":\n  ours:    %s  Windows: %s", c.difference,
                  ours.out.c_str(), windows.out.c_str());
    }
  }
  std::printf("profile fidelity: %zu cases, %d named differences\n", cases.size(), differences);
}

}  // namespace
