#pragma once
// Replacing a file so that a crash, a full disk or a refused write never leaves a truncated or
// half-written file behind: the bytes go to a temporary file in the target's folder, which is
// renamed over the target only when everything was written.

#include <string>
#include <string_view>

namespace tessaly::platform {

// Writes `bytes` as the new content of `path`. A new file gets the usual permissions (0666 less
// the umask), a replaced one keeps its own. Failure: Exception "Cannot create file "%s". %s";
// the target is then untouched and no temporary file remains.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

} // namespace tessaly::platform
