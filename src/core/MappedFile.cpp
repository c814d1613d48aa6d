#include "core/MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/Exception.h"

namespace tessaly {

TMappedFile::TMappedFile(const std::string& fileName) {
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw EFOpenError(fileName, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : (errno ? errno : EINVAL);
        ::close(fd);
        throw EFOpenError(fileName, error);
    }
    size_ = static_cast<size_t>(st.st_size);
    if (size_ != 0) {
        void* map = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map == MAP_FAILED) {
            const int error = errno;
            ::close(fd);
            throw EFOpenError(fileName, error);
        }
        data_ = static_cast<const uint8_t*>(map);
    }
    ::close(fd);
}

TMappedFile::~TMappedFile() {
    if (data_) ::munmap(const_cast<uint8_t*>(data_), size_);
}

} // namespace tessaly
