#pragma once
// The RC4 encryption of BIFF8 workbooks: the FILEPASS record names the form and carries a salt
// and a password verifier; the data after it is RC4-encrypted with a key that changes at every
// 1024-byte block of the stream. Two forms are read:
//   - RC4 (FILEPASS version 1.1): block key = MD5(first 5 bytes of the password digest, block);
//   - RC4 CryptoAPI (versions 2.2 to 4.2): block key = SHA-1(SHA-1(salt, password), block),
//     40 to 128 bits.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "xls/BiffRC4.h"

namespace tessaly {

constexpr uint32_t kBiffCipherBlockSize = 1024;

class TBiffCipher {
public:
    virtual ~TBiffCipher() = default;
    // Loads the RC4 key of a block; the keystream then stands at the block's first byte.
    virtual void MakeBlockKey(uint32_t block) = 0;
    TRC4& Rc4() { return rc4_; }

protected:
    TRC4 rc4_;
};

// What a FILEPASS record holds.
struct TFilePassForm {
    bool Supported = false;
    std::string Name;   // "RC4", "RC4 CryptoAPI", "XOR obfuscation", ...
    uint16_t Type = 0;  // the encryption type word
};

TFilePassForm IdentifyFilePass(std::span<const uint8_t> filePass);

// The cipher for the password when the FILEPASS verifier accepts it, else nothing. The form
// must be a supported one.
std::unique_ptr<TBiffCipher> VerifyPassword(std::span<const uint8_t> filePass, std::u16string_view password);

} // namespace tessaly
