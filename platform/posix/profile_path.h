#pragma once

#include <string>

namespace platform::posix {

// The path of this user's profile file: $WININI when it is an absolute
// path; otherwise $XDG_CONFIG_HOME/winprofile/win.ini, where an absent or
// relative XDG_CONFIG_HOME means $HOME/.config (and HOME defaults to the
// home folder of the user).
std::string ProfilePath();

}  // namespace platform::posix
