#include "platform/FileCopy.h"

#ifdef _WIN32
#include <windows.h>

#include "core/Utf.h"
#else
#include <exception>
#include <string_view>

#include "core/Stream.h"
#include "platform/AtomicFile.h"
#endif

namespace tessaly::platform {

bool CopyFileReplacing(const std::string& source, const std::string& target) {
#ifdef _WIN32
    const std::u16string from = Utf8ToUtf16(source);
    const std::u16string to = Utf8ToUtf16(target);
    return ::CopyFileW(std::wstring(from.begin(), from.end()).c_str(), std::wstring(to.begin(), to.end()).c_str(),
                       FALSE) != 0;
#else
    // Whole or not at all: the copy goes to a temporary file that replaces the target at the end.
    try {
        const std::vector<uint8_t> bytes = ReadFileBytes(source);
        WriteFileAtomically(target, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        return true;
    } catch (const std::exception&) {
        return false;
    }
#endif
}

} // namespace tessaly::platform
