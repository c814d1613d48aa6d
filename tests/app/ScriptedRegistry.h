#pragma once
// A registry for tests: keys and text values set up front, installed as the registry backend for
// the lifetime of the object. Key paths compare without letter case and without a leading
// backslash, as registry paths do.

#include <cctype>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "platform/Registry.h"

namespace tessaly::test {

class ScriptedRegistry {
public:
    using Values = std::map<std::string, std::string>;

    ScriptedRegistry() : backend_(std::make_shared<Backend>()) { previous_ = platform::SetRegistryBackend(backend_); }
    ~ScriptedRegistry() { platform::SetRegistryBackend(previous_); }
    ScriptedRegistry(const ScriptedRegistry&) = delete;
    ScriptedRegistry& operator=(const ScriptedRegistry&) = delete;

    // Creates the key (it then opens, even without values) and sets its values.
    void SetKey(platform::TRegistryRoot root, const std::string& key, Values values = {}) {
        backend_->keys[{root, Normalized(key)}] = std::move(values);
    }
    int Opens() const { return backend_->opens; }

private:
    static std::string Normalized(std::string key) {
        while (!key.empty() && key.front() == '\\') key.erase(0, 1);
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return key;
    }

    class Key final : public platform::TRegistryKey {
    public:
        explicit Key(Values values) : values_(std::move(values)) {}
        bool ValueExists(const std::string& name) const override { return values_.count(name) != 0; }
        std::optional<std::string> ReadString(const std::string& name) const override {
            const auto found = values_.find(name);
            return found == values_.end() ? std::nullopt : std::optional<std::string>(found->second);
        }

    private:
        Values values_;
    };

    struct Backend final : platform::TRegistryBackend {
        std::map<std::pair<platform::TRegistryRoot, std::string>, Values> keys;
        int opens = 0;
        std::unique_ptr<platform::TRegistryKey> OpenKeyReadOnly(platform::TRegistryRoot root,
                                                                const std::string& key) override {
            ++opens;
            const auto found = keys.find({root, Normalized(key)});
            return found == keys.end() ? nullptr : std::make_unique<Key>(found->second);
        }
    };

    std::shared_ptr<Backend> backend_;
    std::shared_ptr<platform::TRegistryBackend> previous_;
};

} // namespace tessaly::test
