#include "core/Stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/Exception.h"

namespace tessaly {

void TStream::ReadBuffer(void* buffer, size_t count) {
    if (count != 0 && Read(buffer, count) != count) throw Exception("Stream read error");
}

static int64_t SeekTarget(int64_t position, int64_t size, int64_t offset, SeekOrigin origin) {
    int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? position : size;
    if (offset < 0 && base < -offset) return 0;
    if (offset > 0 && base > INT64_MAX - offset) return INT64_MAX;
    return base + offset;
}

TMemoryStream::TMemoryStream(std::vector<uint8_t> owned) : owned_(std::move(owned)), data_(owned_) {}

TMemoryStream::TMemoryStream(std::span<const uint8_t> borrowed) : data_(borrowed) {}

size_t TMemoryStream::Read(void* buffer, size_t count) {
    if (position_ >= data_.size()) return 0;
    const size_t n = std::min(count, data_.size() - position_);
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    return n;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
    position_ = static_cast<size_t>(
        SeekTarget(static_cast<int64_t>(position_), static_cast<int64_t>(data_.size()), offset, origin));
    return static_cast<int64_t>(position_);
}

TFileStream::TFileStream(const std::string& fileName) {
    fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw EFOpenError(fileName, errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd_);
        fd_ = -1;
        throw EFOpenError(fileName, error);
    }
    size_ = S_ISREG(st.st_mode) ? st.st_size : 0;
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

size_t TFileStream::Read(void* buffer, size_t count) {
    size_t total = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (total < count) {
        const ssize_t n = ::pread(fd_, out + total, count - total, position_);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw Exception(std::string("Stream read error: ") + std::strerror(errno));
        if (n == 0) break;
        total += static_cast<size_t>(n);
        position_ += n;
    }
    return total;
}

int64_t TFileStream::Seek(int64_t offset, SeekOrigin origin) {
    position_ = SeekTarget(position_, size_, offset, origin);
    return position_;
}

std::vector<uint8_t> ReadFileBytes(const std::string& fileName) {
    TFileStream file(fileName);
    std::vector<uint8_t> bytes(static_cast<size_t>(file.Size()));
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    return bytes;
}

} // namespace tessaly
