#pragma once
// The update-check component: the main window configures it and starts a check at start-up.
// A check runs on a thread of its own; nothing waits for it and nothing reads its result, and
// neither starting nor running it can fail the start-up. Without an information-file address
// (the shipped configuration) a check does nothing at all.

#include <functional>
#include <string>

namespace tessaly {

enum TUpgradeMethod { umUseExternalSetup, umUseInternalSetup };
enum TVersionControl { byDate, byNumber };

class TUpgrader {
public:
    std::string InfoFileURL;     // the update information file on the maker's server
    std::string SetupURL;        // the setup program offered when a newer version exists
    TUpgradeMethod UpgradeMethod = umUseExternalSetup;
    TVersionControl VersionControl = byNumber;
    std::string VersionNumber = "1.1.9.0";
    std::string VersionDate = "10/31/2017";
    std::string UpgradeMsg;

    // What a check does with the configuration once it runs (fetching and comparing). Errors
    // it raises are swallowed on its thread.
    using TCheck = std::function<void(const TUpgrader& configuration)>;
    TCheck Check;

    // Starts a check and returns at once; false when there is nothing to start (no address or
    // no check).
    bool CheckUpdate();
};

} // namespace tessaly
