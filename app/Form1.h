#pragma once
// Form1: the start-up form of defprinter. Its Load handler makes
// "Quillmarex,winspool,Ne01:" the user's default printer and ends the
// program; the form also carries routines that read the user profile.

#include <cstdint>

#include "platform/forms.h"
#include "platform/text.h"

class Form1 : public forms::Form {
 public:
  Form1();

  // Fills `lst` with the key names of profile section `lpSectionName`,
  // appended in the order of the profile's key list after the items `lst`
  // already holds, and returns the number of items in `lst` afterwards. An
  // absent or empty section appends nothing. An error of the list box (a
  // full list) passes to the caller; the items appended before it stay.
  std::int32_t ProfileLoadWinIniList(forms::ListBox& lst, platform::Text& lpSectionName);

 private:
  // Writes the device line as the "Device" value of section "windows",
  // tells every top-level window that the section changed, and ends.
  void Load() override;

  // Takes the item before the first NUL off the front of `text` and returns
  // it; `text` keeps what follows that NUL. With no NUL in `text`, returns
  // the empty text and leaves `text` as it is.
  platform::Text ProfileNextListItem(platform::Text& text);

  // Sets `first` to what stands before the first comma of `value` and
  // `second` to what stands between the first and second comma; a field
  // with no comma to end it is left empty.
  void ProfileSplitFields(platform::Text value, platform::Text& first, platform::Text& second);

  // Tests reach the private routines through this class alone.
  friend class Form1TestAccess;
};
