#include "platform/Registry.h"

namespace tessaly::platform {

bool TRegistry::OpenKeyReadOnly(const std::string&) {
    open_ = false;
    return false;
}

bool TRegistry::ValueExists(const std::string&) const { return false; }

std::string TRegistry::ReadString(const std::string&) const { return {}; }

void TRegistry::CloseKey() { open_ = false; }

} // namespace tessaly::platform
