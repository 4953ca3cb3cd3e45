#pragma once
// The one way tests reach Form1's private routines.

#include "app/Form1.h"

class Form1TestAccess {
 public:
  static platform::Text ProfileNextListItem(Form1& form, platform::Text& text) {
    return form.ProfileNextListItem(text);
  }
  static void ProfileSplitFields(Form1& form, platform::Text value, platform::Text& first,
                                 platform::Text& second) {
    form.ProfileSplitFields(std::move(value), first, second);
  }
};
