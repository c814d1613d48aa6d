#pragma once
// What MD5 and SHA-1 share: the message is cut into 64-byte blocks, and its end is padded with
// 0x80, zeros and the message length in bits (little-endian for MD5, big-endian for SHA-1).
// `Hash` derives from TBlockDigest<Hash> and provides Transform(const uint8_t* block).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tessaly {

template <class Hash>
class TBlockDigest {
public:
    void Update(const void* data, size_t size) {
        const auto* p = static_cast<const uint8_t*>(data);
        size_t used = static_cast<size_t>(length_ % 64);
        length_ += size;
        if (used != 0) {
            const size_t take = std::min(size, 64 - used);
            std::memcpy(buffer_ + used, p, take);
            p += take;
            size -= take;
            used += take;
            if (used < 64) return;
            Self().Transform(buffer_);
        }
        for (; size >= 64; p += 64, size -= 64) Self().Transform(p);
        std::memcpy(buffer_, p, size);
    }

protected:
    void RestartMessage() { length_ = 0; }

    void PadMessage(bool bigEndianLength) {
        const uint64_t bits = length_ * 8;
        const uint8_t pad[64] = {0x80};
        const size_t used = static_cast<size_t>(length_ % 64);
        Update(pad, used < 56 ? 56 - used : 120 - used);
        uint8_t tail[8];
        for (int i = 0; i < 8; ++i) tail[bigEndianLength ? 7 - i : i] = static_cast<uint8_t>(bits >> (8 * i));
        Update(tail, 8);
    }

private:
    Hash& Self() { return static_cast<Hash&>(*this); }

    uint64_t length_ = 0;   // bytes hashed so far
    uint8_t buffer_[64] = {};
};

} // namespace tessaly
