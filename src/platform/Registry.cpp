#include "platform/Registry.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>

#include <vector>

#include "core/Utf.h"
#endif

namespace tessaly::platform {

namespace {

#ifdef _WIN32

std::wstring Wide(const std::string& utf8) {
    const std::u16string text = Utf8ToUtf16(utf8);
    return std::wstring(text.begin(), text.end());
}

class TWindowsKey final : public TRegistryKey {
public:
    explicit TWindowsKey(HKEY key) : key_(key) {}
    ~TWindowsKey() override { ::RegCloseKey(key_); }

    bool ValueExists(const std::string& name) const override {
        return ::RegQueryValueExW(key_, Wide(name).c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }

    std::optional<std::string> ReadString(const std::string& name) const override {
        const std::wstring valueName = Wide(name);
        // The value may grow between asking for its size and reading it: ask again then.
        for (int attempt = 0; attempt < 4; ++attempt) {
            DWORD type = 0;
            DWORD size = 0;
            if (::RegQueryValueExW(key_, valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
                return std::nullopt;
            if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
            std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
            DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
            const LSTATUS status = ::RegQueryValueExW(key_, valueName.c_str(), nullptr, &type,
                                                      reinterpret_cast<BYTE*>(buffer.data()), &bytes);
            if (status == ERROR_MORE_DATA) continue;
            if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
            // Stored strings need not end with a NUL, or may carry several.
            size_t length = bytes / sizeof(wchar_t);
            while (length > 0 && buffer[length - 1] == L'\0') --length;
            return Utf16ToUtf8(std::u16string(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(length)));
        }
        return std::nullopt;
    }

private:
    HKEY key_;
};

class TWindowsRegistry final : public TRegistryBackend {
public:
    std::unique_ptr<TRegistryKey> OpenKeyReadOnly(TRegistryRoot root, const std::string& key) override {
        std::string path = key;
        while (!path.empty() && path.front() == '\\') path.erase(0, 1);   // absolute from the root
        const HKEY rootKey = root == TRegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        const std::wstring widePath = Wide(path);
        // Full read access first; keys that refuse it may still allow querying values.
        for (const REGSAM access : {static_cast<REGSAM>(KEY_READ), static_cast<REGSAM>(KEY_QUERY_VALUE)}) {
            HKEY opened = nullptr;
            if (::RegOpenKeyExW(rootKey, widePath.c_str(), 0, access, &opened) == ERROR_SUCCESS)
                return std::make_unique<TWindowsKey>(opened);
        }
        return nullptr;
    }
};

#else

// Linux has no registry: no key exists.
class TNoRegistry final : public TRegistryBackend {
public:
    std::unique_ptr<TRegistryKey> OpenKeyReadOnly(TRegistryRoot, const std::string&) override { return nullptr; }
};

#endif

std::shared_ptr<TRegistryBackend> SystemRegistry() {
#ifdef _WIN32
    static const auto system = std::make_shared<TWindowsRegistry>();
#else
    static const auto system = std::make_shared<TNoRegistry>();
#endif
    return system;
}

std::shared_ptr<TRegistryBackend>& InstalledBackend() {
    static std::shared_ptr<TRegistryBackend> backend;
    return backend;
}

std::shared_ptr<TRegistryBackend> CurrentBackend() {
    const auto& installed = InstalledBackend();
    return installed ? installed : SystemRegistry();
}

} // namespace

std::shared_ptr<TRegistryBackend> SetRegistryBackend(std::shared_ptr<TRegistryBackend> backend) {
    return std::exchange(InstalledBackend(), std::move(backend));
}

TRegistry::TRegistry() : backend_(CurrentBackend()) {}

TRegistry::~TRegistry() = default;

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
    key_ = backend_->OpenKeyReadOnly(RootKey, key);
    return key_ != nullptr;
}

bool TRegistry::ValueExists(const std::string& name) const { return key_ && key_->ValueExists(name); }

std::string TRegistry::ReadString(const std::string& name) const {
    if (!key_) return {};
    return key_->ReadString(name).value_or(std::string());
}

void TRegistry::CloseKey() { key_.reset(); }

} // namespace tessaly::platform
