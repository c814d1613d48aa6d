// The hash and cipher primitives against their published test vectors.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "xls/BiffMD5.h"
#include "xls/BiffRC4.h"
#include "xls/BiffSHA1.h"

namespace tessaly {
namespace {

template <size_t N>
std::string Hex(const std::array<uint8_t, N>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

TEST(MD5, MatchesTheTestSuiteOfRfc1321) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, digest] : cases) {
        EXPECT_EQ(Hex(TMD5::Of(text.data(), text.size())), digest) << text;
        // Fed in uneven pieces, the digest is the same.
        TMD5 md5;
        for (size_t at = 0; at < text.size(); at += 7) md5.Update(text.data() + at, std::min<size_t>(7, text.size() - at));
        EXPECT_EQ(Hex(md5.Final()), digest) << text;
    }
}

TEST(SHA1, MatchesThePublishedTestVectors) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    };
    for (const auto& [text, digest] : cases) EXPECT_EQ(Hex(TSHA1::Of(text.data(), text.size())), digest) << text;

    TSHA1 sha;
    const std::string thousand(1000, 'a');
    for (int i = 0; i < 1000; ++i) sha.Update(thousand.data(), thousand.size());
    EXPECT_EQ(Hex(sha.Final()), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(RC4, MatchesTheKeystreamsOfRfc6229) {
    struct Case {
        std::string key;
        size_t offset;
        std::string keystream;
    };
    const Case cases[] = {
        {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
        {"0102030405", 16, "6982944f18fc82d589c403a47a0d0919"},
        {"0102030405", 240, "28cb1132c96ce286421dcaadb8b69eae"},
        {"0102030405", 4096, "ff25b58995996707e51fbdf08b34d875"},
        {"0102030405060708090a0b0c0d0e0f10", 0, "9ac7cc9a609d1ef7b2932899cde41b97"},
        {"0102030405060708090a0b0c0d0e0f10", 16, "5248c4959014126a6e8a84f11d1a9e1c"},
        {"0102030405060708090a0b0c0d0e0f10", 1520, "b40110c4190b5622a96116b0017ed297"},
    };
    for (const auto& c : cases) {
        const auto key = FromHex(c.key);
        TRC4 rc4;
        rc4.SetKey(key.data(), key.size());
        rc4.Discard(c.offset);
        std::array<uint8_t, 16> block{};
        rc4.Process(block.data(), block.size());
        EXPECT_EQ(Hex(block), c.keystream) << c.key << " @" << c.offset;
    }
}

TEST(RC4, DecryptsWhatItEncrypted) {
    const uint8_t key[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6};
    std::vector<uint8_t> data(3000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13);
    const auto original = data;
    TRC4 rc4;
    rc4.SetKey(key, 16);
    rc4.Process(data.data(), data.size());
    EXPECT_NE(data, original);
    rc4.SetKey(key, 16);
    rc4.Process(data.data(), 1000);
    rc4.Process(data.data() + 1000, 2000);
    EXPECT_EQ(data, original);
}

} // namespace
} // namespace tessaly
