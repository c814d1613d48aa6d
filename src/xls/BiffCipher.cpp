#include "xls/BiffCipher.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "core/ByteOrder.h"
#include "core/Format.h"
#include "xls/BiffMD5.h"
#include "xls/BiffSHA1.h"

namespace tessaly {

namespace {

constexpr size_t kRc4FilePassSize = 54;          // type, version, salt, verifier, verifier hash
constexpr uint32_t kAlgRc4 = 0x6801;
constexpr uint32_t kAlgSha1 = 0x8004;
constexpr size_t kMaxRc4Password = 31;
constexpr size_t kMaxCryptoApiPassword = 255;

void AppendUtf16Le(std::vector<uint8_t>& out, std::u16string_view text) {
    for (char16_t c : text) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
}

class TRc4Cipher final : public TBiffCipher {
public:
    explicit TRc4Cipher(const uint8_t* digest) { std::memcpy(digest_, digest, 5); }
    void MakeBlockKey(uint32_t block) override {
        uint8_t input[9];
        std::memcpy(input, digest_, 5);
        StoreU32(input + 5, block);
        const auto key = TMD5::Of(input, sizeof input);
        rc4_.SetKey(key.data(), key.size());
    }

private:
    uint8_t digest_[5];
};

class TCryptoApiCipher final : public TBiffCipher {
public:
    TCryptoApiCipher(const TSHA1::Digest& h0, uint32_t keyBits) : h0_(h0), keyBits_(keyBits) {}
    void MakeBlockKey(uint32_t block) override {
        uint8_t input[24];
        std::memcpy(input, h0_.data(), 20);
        StoreU32(input + 20, block);
        const auto hash = TSHA1::Of(input, sizeof input);
        uint8_t key[20] = {};
        // A 40-bit key is its 5 bytes followed by zeros up to 128 bits.
        const size_t keyBytes = keyBits_ / 8;
        std::memcpy(key, hash.data(), keyBytes);
        rc4_.SetKey(key, keyBits_ == 40 ? 16 : keyBytes);
    }

private:
    TSHA1::Digest h0_;
    uint32_t keyBits_;
};

struct TCryptoApiHeader {
    uint32_t AlgId = 0;
    uint32_t AlgIdHash = 0;
    uint32_t KeyBits = 0;
    const uint8_t* Salt = nullptr;       // 16 bytes
    const uint8_t* Verifier = nullptr;   // 16 bytes
    const uint8_t* VerifierHash = nullptr;
    uint32_t VerifierHashSize = 0;
};

// Parses the CryptoAPI encryption header and verifier; false when the record is too short.
bool ParseCryptoApi(std::span<const uint8_t> d, TCryptoApiHeader& out) {
    if (d.size() < 14) return false;
    const uint32_t headerSize = LoadU32(d.data() + 10);
    if (headerSize < 32 || headerSize > d.size() - 14) return false;
    const uint8_t* header = d.data() + 14;
    out.AlgId = LoadU32(header + 8);
    out.AlgIdHash = LoadU32(header + 12);
    out.KeyBits = LoadU32(header + 16);
    if (out.KeyBits == 0) out.KeyBits = 40;
    const size_t verifierAt = 14 + static_cast<size_t>(headerSize);
    if (d.size() - verifierAt < 4 + 16 + 16 + 4) return false;
    const uint8_t* v = d.data() + verifierAt;
    if (LoadU32(v) != 16) return false;
    out.Salt = v + 4;
    out.Verifier = v + 20;
    out.VerifierHashSize = LoadU32(v + 36);
    if (out.VerifierHashSize > d.size() - verifierAt - 40) return false;
    out.VerifierHash = v + 40;
    return true;
}

bool IsCryptoApiVersion(uint16_t major, uint16_t minor) { return major >= 2 && major <= 4 && minor == 2; }

} // namespace

TFilePassForm IdentifyFilePass(std::span<const uint8_t> d) {
    TFilePassForm form;
    if (d.size() < 2) {
        form.Name = "an incomplete FILEPASS record";
        return form;
    }
    form.Type = LoadU16(d.data());
    if (form.Type == 0) {
        form.Name = "XOR obfuscation";
        return form;
    }
    if (form.Type != 1) {
        form.Name = Format("encryption type %u", form.Type);
        return form;
    }
    if (d.size() < 6) {
        form.Name = "RC4 encryption with an incomplete header";
        return form;
    }
    const uint16_t major = LoadU16(d.data() + 2);
    const uint16_t minor = LoadU16(d.data() + 4);
    if (major == 1) {
        form.Name = "RC4";
        form.Supported = d.size() >= kRc4FilePassSize;
        if (!form.Supported) form.Name = "RC4 encryption with an incomplete header";
        return form;
    }
    if (IsCryptoApiVersion(major, minor)) {
        TCryptoApiHeader header;
        if (!ParseCryptoApi(d, header)) {
            form.Name = "RC4 CryptoAPI encryption with an incomplete header";
        } else if (header.AlgId != kAlgRc4 && header.AlgId != 0) {
            form.Name = Format("CryptoAPI encryption with algorithm 0x%X", header.AlgId);
        } else if (header.AlgIdHash != kAlgSha1 && header.AlgIdHash != 0) {
            form.Name = Format("CryptoAPI encryption with hash algorithm 0x%X", header.AlgIdHash);
        } else if (header.KeyBits < 40 || header.KeyBits > 128 || header.KeyBits % 8 != 0 ||
                   header.VerifierHashSize < 20) {
            form.Name = Format("RC4 CryptoAPI encryption with a %u-bit key", header.KeyBits);
        } else {
            form.Name = "RC4 CryptoAPI";
            form.Supported = true;
        }
        return form;
    }
    form.Name = Format("RC4 encryption version %u.%u", major, minor);
    return form;
}

std::unique_ptr<TBiffCipher> VerifyPassword(std::span<const uint8_t> d, std::u16string_view password) {
    if (!IdentifyFilePass(d).Supported) return nullptr;
    const uint16_t major = LoadU16(d.data() + 2);
    if (major == 1) {
        const uint8_t* salt = d.data() + 6;
        std::vector<uint8_t> utf16;
        AppendUtf16Le(utf16, password.substr(0, kMaxRc4Password));
        const auto h0 = TMD5::Of(utf16.data(), utf16.size());
        uint8_t mix[16 * 21];
        for (int i = 0; i < 16; ++i) {
            std::memcpy(mix + 21 * i, h0.data(), 5);
            std::memcpy(mix + 21 * i + 5, salt, 16);
        }
        const auto h1 = TMD5::Of(mix, sizeof mix);
        auto cipher = std::make_unique<TRc4Cipher>(h1.data());
        cipher->MakeBlockKey(0);
        uint8_t verifier[32];
        std::memcpy(verifier, d.data() + 22, 32);
        cipher->Rc4().Process(verifier, 32);
        const auto check = TMD5::Of(verifier, 16);
        if (std::memcmp(check.data(), verifier + 16, 16) != 0) return nullptr;
        return cipher;
    }

    TCryptoApiHeader header;
    ParseCryptoApi(d, header);
    std::vector<uint8_t> input(header.Salt, header.Salt + 16);
    AppendUtf16Le(input, password.substr(0, kMaxCryptoApiPassword));
    auto cipher = std::make_unique<TCryptoApiCipher>(TSHA1::Of(input.data(), input.size()), header.KeyBits);
    cipher->MakeBlockKey(0);
    uint8_t verifier[16 + 20];
    std::memcpy(verifier, header.Verifier, 16);
    std::memcpy(verifier + 16, header.VerifierHash, 20);
    cipher->Rc4().Process(verifier, sizeof verifier);
    const auto check = TSHA1::Of(verifier, 16);
    if (std::memcmp(check.data(), verifier + 16, 20) != 0) return nullptr;
    return cipher;
}

} // namespace tessaly
