#pragma once
// SHA-1 message digest (FIPS 180), used by the CryptoAPI form of RC4-encrypted workbooks.

#include <array>
#include <cstddef>
#include <cstdint>

#include "xls/BiffBlockDigest.h"

namespace tessaly {

class TSHA1 : public TBlockDigest<TSHA1> {
public:
    using Digest = std::array<uint8_t, 20>;

    TSHA1() { Init(); }
    void Init();
    Digest Final();   // the digest; the object must be initialised again before reuse

    static Digest Of(const void* data, size_t size);

private:
    friend class TBlockDigest<TSHA1>;
    void Transform(const uint8_t* block);

    uint32_t state_[5] = {};
};

} // namespace tessaly
