#pragma once
// Listing a folder with the attribute set of each entry, as Windows reports it. Linux has no
// attribute bits, so they are derived from what the file system says:
//   directory      a directory, or a symbolic link to one
//   symbolic link  a symbolic link (Windows: the reparse-point attribute of links and junctions)
//   hidden         a name starting with "."
//   read-only      no write permission bit at all, or not writable by this process
//   system         anything that is neither a regular file, a directory nor a link
//                  (devices, pipes, sockets)
//   normal         a regular file with none of the above
// There is no archive or not-indexed attribute on Linux.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessaly::platform {

// The attribute bits, with the values Windows gives them.
enum TFileAttribute : uint32_t {
    faReadOnly = 0x0001,
    faHidden = 0x0002,
    faSysFile = 0x0004,
    faDirectory = 0x0010,
    faArchive = 0x0020,
    faNormal = 0x0080,
    faSymLink = 0x0400,          // reparse point
    faNotContentIndexed = 0x2000,
};

struct TFolderEntry {
    std::string Name;            // the entry's name, without folder
    uint32_t Attributes = 0;     // TFileAttribute bits
    bool operator==(const TFolderEntry&) const = default;
};

// The entries of `folder` (with or without a trailing delimiter) in the order the file system
// returns them, hidden and system entries included, "." and ".." left out. Empty when the folder
// cannot be listed.
std::vector<TFolderEntry> ListFolder(const std::string& folder);

// The system's listing, whatever handler is installed.
std::vector<TFolderEntry> SystemListFolder(const std::string& folder);

// Replaces what ListFolder does (tests fix the order in which entries come); returns the
// previous handler. An empty handler restores the system's listing.
using TFolderListingHandler = std::function<std::vector<TFolderEntry>(const std::string& folder)>;
TFolderListingHandler SetFolderListingHandler(TFolderListingHandler handler);

} // namespace tessaly::platform
