#include "core/Exception.h"

#include <cstring>

#include "core/Format.h"

namespace tessaly {

EListError::EListError(long long index)
    : Exception(Format("List index out of bounds (%lld)", index)) {}

EFOpenError::EFOpenError(const std::string& fileName, int osError)
    : Exception(Format("Cannot open file \"%s\". %s", fileName.c_str(), std::strerror(osError))) {}

} // namespace tessaly
