#pragma once
// Copying a file as the Windows file copy does, replacing an existing target.

#include <string>

namespace tessaly::platform {

// Copies `source` to `target`, replacing a target that exists. False when the source cannot be
// read or the target cannot be written; the target is then left as it was.
bool CopyFileReplacing(const std::string& source, const std::string& target);

} // namespace tessaly::platform
