#pragma once
// Read-only access to the Windows registry. Linux has no registry: every key fails to open, so
// callers take the path they take on a Windows machine where the key is missing.

#include <string>

namespace tessaly::platform {

enum class TRegistryRoot { CurrentUser, LocalMachine };

class TRegistry {
public:
    TRegistryRoot RootKey = TRegistryRoot::CurrentUser;

    // Opens an existing key for reading; never creates one. False when it cannot be opened.
    bool OpenKeyReadOnly(const std::string& key);
    bool ValueExists(const std::string& name) const;
    // The text value `name` of the open key; empty when there is none.
    std::string ReadString(const std::string& name) const;
    void CloseKey();

private:
    bool open_ = false;
};

} // namespace tessaly::platform
