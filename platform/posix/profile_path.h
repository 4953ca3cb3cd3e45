#pragma once

#include <string>

namespace platform::posix {

// The path of this user's profile file: $WININI when set and not empty;
// otherwise $XDG_CONFIG_HOME/winprofile/win.ini, where XDG_CONFIG_HOME
// defaults to $HOME/.config (and HOME to the home folder of the user).
std::string ProfilePath();

}  // namespace platform::posix
