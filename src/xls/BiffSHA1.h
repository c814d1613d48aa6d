#pragma once
// SHA-1 message digest (FIPS 180), used by the CryptoAPI form of RC4-encrypted workbooks.

#include <array>
#include <cstddef>
#include <cstdint>

namespace tessaly {

class TSHA1 {
public:
    using Digest = std::array<uint8_t, 20>;

    TSHA1() { Init(); }
    void Init();
    void Update(const void* data, size_t size);
    Digest Final();   // the digest; the object must be initialised again before reuse

    static Digest Of(const void* data, size_t size);

private:
    void Transform(const uint8_t* block);

    uint32_t state_[5] = {};
    uint64_t length_ = 0;
    uint8_t buffer_[64] = {};
};

} // namespace tessaly
