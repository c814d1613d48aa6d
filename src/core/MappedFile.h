#pragma once
// A read-only memory map of a whole file, for readers that need random access.

#include <cstdint>
#include <span>
#include <string>

namespace tessaly {

class TMappedFile {
public:
    explicit TMappedFile(const std::string& fileName);  // EFOpenError when it cannot be opened
    ~TMappedFile();
    TMappedFile(const TMappedFile&) = delete;
    TMappedFile& operator=(const TMappedFile&) = delete;

    std::span<const uint8_t> Bytes() const { return {data_, size_}; }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

} // namespace tessaly
