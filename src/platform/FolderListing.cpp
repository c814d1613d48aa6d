#include "platform/FolderListing.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>

#include "core/Utf.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tessaly::platform {

namespace {

TFolderListingHandler& Handler() {
    static TFolderListingHandler handler;
    return handler;
}

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

#ifndef _WIN32

uint32_t Attributes(int folder, const char* name) {
    struct stat entry;
    // An entry that vanished or cannot be examined is nothing a caller should use.
    if (::fstatat(folder, name, &entry, AT_SYMLINK_NOFOLLOW) != 0) return faSysFile;
    uint32_t attributes = 0;
    struct stat target = entry;
    bool dangling = false;
    if (S_ISLNK(entry.st_mode)) {
        attributes |= faSymLink;
        dangling = ::fstatat(folder, name, &target, 0) != 0;
        if (dangling) target = entry;
    }
    if (S_ISDIR(target.st_mode)) {
        attributes |= faDirectory;
    } else if (!S_ISREG(target.st_mode) && !S_ISLNK(target.st_mode)) {
        attributes |= faSysFile;
    }
    if (name[0] == '.') attributes |= faHidden;
    if (!dangling && ((target.st_mode & 0222) == 0 || ::faccessat(folder, name, W_OK, AT_EACCESS) != 0))
        attributes |= faReadOnly;
    if (attributes == 0) attributes = faNormal;
    return attributes;
}

#endif

} // namespace

std::vector<TFolderEntry> SystemListFolder(const std::string& folder) {
    std::vector<TFolderEntry> entries;
    if (folder.empty()) return entries;
#ifdef _WIN32
    std::u16string pattern = Utf8ToUtf16(folder);
    if (pattern.back() != u'\\' && pattern.back() != u'/') pattern.push_back(u'\\');
    pattern.push_back(u'*');
    const std::wstring widePattern(pattern.begin(), pattern.end());
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileExW(widePattern.c_str(), FindExInfoBasic, &found,
                                              FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::wstring_view wide(found.cFileName);
        std::string name = Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
        if (!IsDotEntry(name)) entries.push_back({std::move(name), found.dwFileAttributes});
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
#else
    DIR* listing = ::opendir(folder.c_str());
    if (!listing) return entries;
    const int descriptor = ::dirfd(listing);
    while (const dirent* entry = ::readdir(listing)) {
        std::string name = entry->d_name;
        if (IsDotEntry(name)) continue;
        const uint32_t attributes = Attributes(descriptor, entry->d_name);
        entries.push_back({std::move(name), attributes});
    }
    ::closedir(listing);
#endif
    return entries;
}

std::vector<TFolderEntry> ListFolder(const std::string& folder) {
    const TFolderListingHandler& handler = Handler();
    return handler ? handler(folder) : SystemListFolder(folder);
}

TFolderListingHandler SetFolderListingHandler(TFolderListingHandler handler) {
    return std::exchange(Handler(), std::move(handler));
}

} // namespace tessaly::platform
