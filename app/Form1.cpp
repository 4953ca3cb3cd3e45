#include "app/Form1.h"

#include <string>

#include "platform/ansi.h"
#include "platform/kernel32.h"
#include "platform/user32.h"

Form1::Form1()
    : forms::Form(forms::FormProperties{
          .caption = u"Form1",
          .left = 60,
          .top = 345,
          .width = 3390,
          .height = 2220,
          .startUpPosition = forms::StartUpPosition::WindowsDefault,
      }) {}

void Form1::Load() {
  const platform::Text deviceLine = u"Quillmarex,winspool,Ne01:";

  // Neither result is looked at: the change is announced whether or not the
  // write took, and the program ends either way.
  platform::WriteProfileStringA(u"windows", u"Device", deviceLine);

  const std::string sectionName = platform::ToAnsi(u"windows");
  platform::SendMessageA(HWND_BROADCAST, WM_WININICHANGE, 0,
                         reinterpret_cast<LPARAM>(sectionName.c_str()));

  forms::End();
}
