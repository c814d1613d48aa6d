#pragma once
// Failures travel as exceptions carrying a message text (UTF-8).

#include <stdexcept>
#include <string>

namespace tessaly {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// An index outside an indexed list: "List index out of bounds (%d)".
class EListError : public Exception {
public:
    explicit EListError(long long index);
};

// A file that cannot be opened for reading.
class EFOpenError : public Exception {
public:
    EFOpenError(const std::string& fileName, int osError);
};

} // namespace tessaly
