#pragma once
// The RC4 stream cipher: key schedule, then one keystream byte XORed onto each data byte.

#include <cstddef>
#include <cstdint>

namespace tessaly {

class TRC4 {
public:
    void SetKey(const uint8_t* key, size_t length);   // length 1..256
    void Process(uint8_t* data, size_t size);          // in place; encrypts and decrypts alike
    void Discard(size_t count);                        // moves the keystream on

private:
    uint8_t s_[256] = {};
    uint8_t i_ = 0;
    uint8_t j_ = 0;
};

} // namespace tessaly
