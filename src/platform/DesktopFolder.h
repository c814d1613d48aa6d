#pragma once
// The current user's desktop folder. On Windows it is the "Desktop" value of the user's shell
// folders; on Linux it is the XDG desktop folder (XDG_DESKTOP_DIR in user-dirs.dirs, $HOME/Desktop
// when that names none).

#include <string>

namespace tessaly::platform {

// The folder without a trailing delimiter; empty when it cannot be found or does not exist.
std::string DesktopFolder();

} // namespace tessaly::platform
