#include "platform/Paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace tessaly::platform {

namespace {

size_t LastDelimiter(std::string_view path) {
#ifdef _WIN32
    return path.find_last_of("\\/:");
#else
    return path.find_last_of(kPathDelimiter);
#endif
}

} // namespace

std::string ExtractFilePath(std::string_view path) {
    const size_t at = LastDelimiter(path);
    return at == std::string_view::npos ? std::string() : std::string(path.substr(0, at + 1));
}

std::string ExtractFileName(std::string_view path) {
    const size_t at = LastDelimiter(path);
    return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

std::string ChangeFileExt(std::string_view path, std::string_view extension) {
    const size_t nameStart = ExtractFilePath(path).size();
    const size_t dot = path.find_last_of('.');
    const size_t end = (dot != std::string_view::npos && dot >= nameStart) ? dot : path.size();
    std::string result(path.substr(0, end));
    result += extension;
    return result;
}

bool FileExists(const std::string& path) {
    struct stat info;
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat info;
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ExecutableFile() {
    std::vector<char> buffer(4096);
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

} // namespace tessaly::platform
