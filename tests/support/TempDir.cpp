#include "TempDir.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tessaly::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::vector<uint8_t> ReadBytes(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + fileName);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + fileName);
}

void WriteText(const std::string& fileName, const std::string& text) {
    WriteBytes(fileName, std::vector<uint8_t>(text.begin(), text.end()));
}

} // namespace tessaly::test
