#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/Exception.h"
#include "core/Format.h"
#include "platform/Paths.h"

namespace tessaly::platform {

namespace {

[[noreturn]] void Fail(const std::string& path, int osError) {
    throw Exception(Format("Cannot create file \"%s\". %s", path.c_str(), std::strerror(osError)));
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool WriteAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
    const std::string folder = ExtractFilePath(path);
    std::string temp = (folder.empty() ? std::string("./") : folder) + "." +
                       ExtractFileName(path) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) Fail(path, errno);

    struct stat existing;
    const mode_t mode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : NewFileMode();
    int error = 0;
    if (::fchmod(fd, mode) != 0 || !WriteAll(fd, bytes) || ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        Fail(path, error);
    }
}

} // namespace tessaly::platform
