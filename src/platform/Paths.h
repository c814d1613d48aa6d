#pragma once
// File names and folders as the application handles them: the folder part of a path ends with
// the path delimiter, an extension starts at the last "." of the name part.

#include <string>
#include <string_view>

namespace tessaly::platform {

#ifdef _WIN32
constexpr char kPathDelimiter = '\\';
#else
constexpr char kPathDelimiter = '/';
#endif

// Everything up to and including the last delimiter; empty when there is none.
std::string ExtractFilePath(std::string_view path);
// Everything after the last delimiter.
std::string ExtractFileName(std::string_view path);
// The path with the extension of its name part replaced by `extension` (".ini"), or added.
std::string ChangeFileExt(std::string_view path, std::string_view extension);

bool FileExists(const std::string& path);        // an existing file that is not a folder
bool DirectoryExists(const std::string& path);   // an existing folder (a trailing delimiter is fine)

// The full path of the running executable; empty when the system does not tell.
std::string ExecutableFile();

} // namespace tessaly::platform
