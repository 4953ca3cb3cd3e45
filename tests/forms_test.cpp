// The form framework and Form1 itself: stored properties, the start-up
// sequence, End, the list box, and the Load handler inside one process.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/Form1.h"
#include "platform/forms.h"
#include "platform/kernel32.h"
#include "platform/user32.h"
#include "tests/support/temp_dir.h"

namespace {

using forms::ListBox;
using platform::Text;

TEST(Form1, HasItsStoredProperties) {
  const Form1 form;
  const forms::FormProperties& p = form.Properties();
  EXPECT_EQ(p.caption, u"Form1");
  EXPECT_EQ(p.left, 60);
  EXPECT_EQ(p.top, 345);
  EXPECT_EQ(p.width, 3390);
  EXPECT_EQ(p.height, 2220);
  EXPECT_EQ(static_cast<int>(p.startUpPosition), 3);
}

// A form whose Load records that it ran and does not end the program.
class RecordingForm : public forms::Form {
 public:
  RecordingForm() : forms::Form({}) {}
  static inline int loads = 0;

 private:
  void Load() override { ++loads; }
};

TEST(StartUp, CreatesTheFormAndRaisesLoadOnce) {
  RecordingForm::loads = 0;
  EXPECT_EQ(forms::Run<RecordingForm>(), 0);
  EXPECT_EQ(RecordingForm::loads, 1);
}

TEST(End, StopsAtOnceWithStatusZeroAndNoOutput) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // Exit handlers are the process's own end-of-run events: none runs.
        std::atexit([] { std::fputs("exit handler ran", stderr); });
        forms::End();
      },
      testing::ExitedWithCode(0), "^$");
}

TEST(ListBox, AppendsAtTheEndWhenUnsorted) {
  ListBox list;
  for (const Text item : {u"b", u"a", u"", u"a"}) list.AddItem(item);
  EXPECT_EQ(list.Items(), (std::vector<Text>{u"b", u"a", u"", u"a"}));
  EXPECT_EQ(list.ListCount(), 4);
  EXPECT_EQ(list.List(0), u"b");
}

TEST(ListBox, PlacesItemsInOrderWhenSorted) {
  ListBox list(/*sorted=*/true);
  for (const Text item : {u"b", u"a", u"c", u"B", u"a"}) list.AddItem(item);
  EXPECT_EQ(list.Items(), (std::vector<Text>{u"B", u"a", u"a", u"b", u"c"}));
}

TEST(ListBox, AFullListRaisesAndKeepsItsItems) {
  ListBox list;
  for (int i = 0; i < ListBox::kMaxItems; ++i) list.AddItem(u"x");
  EXPECT_EQ(list.ListCount(), 32767);
  try {
    list.AddItem(u"one too many");
    FAIL() << "a full list took another item";
  } catch (const forms::FrameworkError& error) {
    EXPECT_EQ(error.Number(), forms::kErrOutOfMemory);
  }
  EXPECT_EQ(list.ListCount(), 32767);
  EXPECT_EQ(list.List(32766), u"x");
}

TEST(ListBox, ReadingAnItemThatIsNotThereRaises) {
  ListBox list;
  list.AddItem(u"only");
  EXPECT_THROW(list.List(1), forms::FrameworkError);
  EXPECT_THROW(list.List(-1), forms::FrameworkError);
}

TEST(SendMessage, ReachesThisProcesssWindowsOnceEachAndOnlyAddressed) {
  std::vector<std::string> heard;
  const auto listener = [&heard](const char* name) {
    return [&heard, name](UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
      heard.push_back(std::string(name) + " " + std::to_string(message) + " " +
                      std::to_string(wParam) + " " + reinterpret_cast<const char*>(lParam));
      return 7;
    };
  };
  platform::TopLevelWindow first(listener("first"));
  platform::TopLevelWindow second(listener("second"));
  const char text[] = "windows";
  EXPECT_EQ(SendMessageA(HWND_BROADCAST, WM_WININICHANGE, 0, reinterpret_cast<LPARAM>(text)), 0);
  EXPECT_EQ(heard, (std::vector<std::string>{"first 26 0 windows", "second 26 0 windows"}));

  heard.clear();
  EXPECT_EQ(SendMessageA(second.Handle(), 0x400, 5, reinterpret_cast<LPARAM>(text)), 7);
  EXPECT_EQ(heard, (std::vector<std::string>{"second 1024 5 windows"}));
}

TEST(SendMessage, AGoneWindowHearsNothing) {
  int calls = 0;
  HWND handle;
  {
    platform::TopLevelWindow window([&calls](UINT, WPARAM, LPARAM) -> LRESULT { return ++calls; });
    handle = window.Handle();
  }
  EXPECT_EQ(SendMessageA(handle, WM_WININICHANGE, 0, 0), 0);
  EXPECT_EQ(calls, 0);
}

// The whole Load handler in this process: a window of ours hears the
// broadcast after the write, and the handler ends the program.
TEST(Form1Load, WritesThenBroadcastsTheSectionThenEnds) {
  // Forked, not run afresh, so the child sees this test's profile.
  GTEST_FLAG_SET(death_test_style, "fast");
  testing_support::TempDir dir;
  const std::string profile = dir / "win.ini";
  testing_support::WriteFile(profile, "[windows]\r\nDevice=Old,winspool,LPT1:\r\n");
  testing_support::ScopedEnv profileVariable("WININI", profile);
  EXPECT_EXIT(
      {
        platform::TopLevelWindow window([](UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
          // What the profile holds when the broadcast arrives.
          char device[64];
          GetProfileStringA("windows", "Device", "", device, sizeof(device));
          std::fprintf(stderr, "message=%u wParam=%lu text=%s device=%s\n", message,
                       static_cast<unsigned long>(wParam), reinterpret_cast<const char*>(lParam),
                       device);
          return 0;
        });
        forms::Run<Form1>();
        std::fputs("Run returned", stderr);
        std::exit(1);
      },
      testing::ExitedWithCode(0),
      "^message=26 wParam=0 text=windows device=Quillmarex,winspool,Ne01:\n$");
  EXPECT_EQ(testing_support::ReadFile(profile),
            "[windows]\r\nDevice=Quillmarex,winspool,Ne01:\r\n");
}

}  // namespace
