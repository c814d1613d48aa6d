#include "platform/DesktopFolder.h"

#include <cstdlib>
#include <fstream>
#include <string_view>

#include "platform/Paths.h"

namespace tessaly::platform {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// The value of XDG_DESKTOP_DIR="..." with $HOME expanded and shell escapes removed; empty when
// the file or the line is missing.
std::string ReadUserDirsEntry(const std::string& file, const std::string& home) {
    std::ifstream in(file);
    std::string line;
    const std::string_view key = "XDG_DESKTOP_DIR=";
    while (std::getline(in, line)) {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
        std::string_view value = std::string_view(line).substr(start + key.size());
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
            value.remove_suffix(1);
        if (value.size() < 2 || value.front() != '"' || value.back() != '"') return {};
        value = value.substr(1, value.size() - 2);
        std::string path;
        if (value.substr(0, 5) == "$HOME") {
            path = home;
            value.remove_prefix(5);
        } else if (value.empty() || value.front() != '/') {
            return {};   // only absolute paths and paths below $HOME are allowed
        }
        for (size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) ++i;
            path.push_back(value[i]);
        }
        return path;
    }
    return {};
}

} // namespace

std::string DesktopFolder() {
    const std::string home = Environment("HOME");
    std::string config = Environment("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') config = home.empty() ? std::string() : home + "/.config";

    std::string folder = config.empty() ? std::string() : ReadUserDirsEntry(config + "/user-dirs.dirs", home);
    if (folder.empty() && !home.empty()) folder = home + "/Desktop";
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return DirectoryExists(folder) ? folder : std::string();
}

} // namespace tessaly::platform
