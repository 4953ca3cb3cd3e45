// Form1's routines for reading the user profile.

#include "app/Form1.h"
#include "platform/ansi.h"
#include "platform/kernel32.h"

std::int32_t Form1::ProfileLoadWinIniList(forms::ListBox& lst, platform::Text& lpSectionName) {
  platform::Text keyNames(8102, u' ');
  const std::int32_t count =
      platform::GetProfileStringA(lpSectionName, nullptr, u"", keyNames, 8102);

  if (count != 0) {
    // The count is in ANSI bytes; on a double-byte code page the text that
    // came back is shorter than that, so cut where those bytes end.
    keyNames.resize(platform::AnsiPrefixLength(keyNames, static_cast<std::size_t>(count)));
    while (!keyNames.empty()) {
      // A rest without a NUL is the last name cut short because the list
      // did not fit the buffer: not a key name, so it is dropped, and the
      // walk ends.
      if (platform::InStr(1, keyNames, platform::Text(1, u'\0')) == 0) break;
      lst.AddItem(ProfileNextListItem(keyNames));
    }
  }
  return lst.ListCount();
}

platform::Text Form1::ProfileNextListItem(platform::Text& text) {
  const std::int32_t p = platform::InStr(1, text, platform::Text(1, u'\0'));
  if (p == 0) return platform::Text();
  platform::Text item = platform::Left(text, p - 1);
  text = platform::Mid(text, p + 1);
  return item;
}

void Form1::ProfileSplitFields(platform::Text value, platform::Text& first,
                               platform::Text& second) {
  first.clear();
  second.clear();
  const std::int32_t p = platform::InStr(1, value, u",");
  if (p == 0) return;
  first = platform::Left(value, p - 1);
  const std::int32_t q = platform::InStr(p + 1, value, u",");
  if (q == 0) return;
  second = platform::Mid(value, p + 1, q - p - 1);
}
