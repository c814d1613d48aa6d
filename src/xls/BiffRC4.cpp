#include "xls/BiffRC4.h"

#include <utility>

namespace tessaly {

void TRC4::SetKey(const uint8_t* key, size_t length) {
    for (int k = 0; k < 256; ++k) s_[k] = static_cast<uint8_t>(k);
    uint8_t j = 0;
    for (int k = 0; k < 256; ++k) {
        j = static_cast<uint8_t>(j + s_[k] + key[k % length]);
        std::swap(s_[k], s_[j]);
    }
    i_ = 0;
    j_ = 0;
}

void TRC4::Process(uint8_t* data, size_t size) {
    uint8_t i = i_, j = j_;
    for (size_t n = 0; n < size; ++n) {
        i = static_cast<uint8_t>(i + 1);
        j = static_cast<uint8_t>(j + s_[i]);
        std::swap(s_[i], s_[j]);
        data[n] ^= s_[static_cast<uint8_t>(s_[i] + s_[j])];
    }
    i_ = i;
    j_ = j;
}

void TRC4::Discard(size_t count) {
    uint8_t i = i_, j = j_;
    for (size_t n = 0; n < count; ++n) {
        i = static_cast<uint8_t>(i + 1);
        j = static_cast<uint8_t>(j + s_[i]);
        std::swap(s_[i], s_[j]);
    }
    i_ = i;
    j_ = j;
}

} // namespace tessaly
