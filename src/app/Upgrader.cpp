#include "app/Upgrader.h"

#include <thread>

namespace tessaly {

bool TUpgrader::CheckUpdate() {
    if (InfoFileURL.empty() || !Check) return false;
    // The thread gets its own copy: the component may be gone before the check ends.
    std::thread([configuration = *this] {
        try {
            configuration.Check(configuration);
        } catch (...) {
        }
    }).detach();
    return true;
}

} // namespace tessaly
