#pragma once
// Read-only access to the Windows registry. Linux has no registry: every key fails to open, so
// callers take the path they take on a Windows machine where the key is missing. Tests install a
// scripted registry through SetRegistryBackend.

#include <memory>
#include <optional>
#include <string>

namespace tessaly::platform {

enum class TRegistryRoot { CurrentUser, LocalMachine };

// An open key of a registry backend.
class TRegistryKey {
public:
    virtual ~TRegistryKey() = default;
    virtual bool ValueExists(const std::string& name) const = 0;
    // The text value `name`; nothing when the key has no such value or it is not text.
    virtual std::optional<std::string> ReadString(const std::string& name) const = 0;
};

// Where TRegistry reads: the system's registry unless a test installed another one.
class TRegistryBackend {
public:
    virtual ~TRegistryBackend() = default;
    // Opens an existing key (a path such as "SOFTWARE\Microsoft\...", a leading backslash
    // allowed) for reading; null when it does not exist or cannot be opened. Never creates one.
    virtual std::unique_ptr<TRegistryKey> OpenKeyReadOnly(TRegistryRoot root, const std::string& key) = 0;
};

// Replaces the backend of every TRegistry opened from now on; returns the previous one. A null
// backend restores the system's.
std::shared_ptr<TRegistryBackend> SetRegistryBackend(std::shared_ptr<TRegistryBackend> backend);

class TRegistry {
public:
    TRegistryRoot RootKey = TRegistryRoot::CurrentUser;

    TRegistry();
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // Opens an existing key for reading (closing the one open before); never creates one. False
    // when it cannot be opened.
    bool OpenKeyReadOnly(const std::string& key);
    bool ValueExists(const std::string& name) const;
    // The text value `name` of the open key; empty when there is none.
    std::string ReadString(const std::string& name) const;
    void CloseKey();

private:
    std::shared_ptr<TRegistryBackend> backend_;
    std::unique_ptr<TRegistryKey> key_;
};

} // namespace tessaly::platform
