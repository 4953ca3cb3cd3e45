// The Windows programs, run for real under Wine (an independent
// implementation of the Windows API, used as a black box): the 64-bit
// build of the same sources as the 32-bit product, in a fresh prefix.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

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
    EXPECT_NE(result.out.find("[  PASSED  ] " + std::string(locale[0] == 'C' ? "3" : "4") +
                              " tests."),
              std::string::npos)
        << result.out;
  }
}

}  // namespace
