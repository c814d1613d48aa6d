#pragma once
// MD5 message digest (RFC 1321), used by the RC4 key derivation of encrypted workbooks.

#include <array>
#include <cstddef>
#include <cstdint>

#include "xls/BiffBlockDigest.h"

namespace tessaly {

class TMD5 : public TBlockDigest<TMD5> {
public:
    using Digest = std::array<uint8_t, 16>;

    TMD5() { Init(); }
    void Init();
    Digest Final();   // the digest; the object must be initialised again before reuse

    static Digest Of(const void* data, size_t size);

private:
    friend class TBlockDigest<TMD5>;
    void Transform(const uint8_t* block);

    uint32_t state_[4] = {};
};

} // namespace tessaly
