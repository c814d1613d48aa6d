#pragma once
// A fresh temporary folder for one test, removed with everything in it afterwards.

#include <filesystem>
#include <string>
#include <vector>

namespace tessaly::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::vector<uint8_t> ReadBytes(const std::string& fileName);
void WriteBytes(const std::string& fileName, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& fileName, const std::string& text);

} // namespace tessaly::test
