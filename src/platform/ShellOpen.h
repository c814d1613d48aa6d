#pragma once
// The shell's "open" verb: open a document with the application the desktop associates with
// its type (on Linux through xdg-open), without waiting for it.

#include <functional>
#include <string>

namespace tessaly::platform {

// Asks the desktop to open `path`; true when the request could be handed on. Errors of the
// opening application are not reported.
bool ShellOpen(const std::string& path);

// Replaces what ShellOpen does (tests observe the requests instead of launching anything);
// returns the previous handler. An empty handler restores the desktop's.
using TShellOpenHandler = std::function<bool(const std::string& path)>;
TShellOpenHandler SetShellOpenHandler(TShellOpenHandler handler);

} // namespace tessaly::platform
