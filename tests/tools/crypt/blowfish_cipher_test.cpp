#include "tools/crypt/blowfish_cipher.h"

#include "crypt_test_support.h"
#include "tools/crypt/sha.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

using filecrypt::CBlockCipher;
using filecrypt::CBlowfishCipher;
using filecrypt::CSHA;

namespace {

constexpr std::uint32_t kZeroVector[2] = {0, 0};

void Key(CBlowfishCipher& cipher, const std::string& key, int mode = CBlockCipher::ECB,
         int padding = CBlockCipher::ZEROES, const std::uint32_t* vector = kZeroVector) {
    cipher.SetKey(reinterpret_cast<const std::uint8_t*>(key.data()), static_cast<int>(key.size()),
                  vector, mode, padding);
}

std::string KeyCheck(CBlowfishCipher& cipher) {
    std::uint8_t digest[CBlockCipher::kKeyCheckSize];
    cipher.KeyDigest(digest);
    return ToHex(digest, sizeof digest);
}

// The published Blowfish vectors: key, plain text, cipher text (eight-byte keys).
struct Vector {
    const char* key;
    const char* plain;
    const char* cipher;
};
constexpr Vector kVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

}  // namespace

TEST(BlowfishCipher, PublishedVectors) {
    CBlowfishCipher cipher;
    for (const Vector& v : kVectors) {
        const Bytes key = FromHex(v.key), plain = FromHex(v.plain), expected = FromHex(v.cipher);
        cipher.SetKey(key.data(), 8, kZeroVector, CBlockCipher::ECB, CBlockCipher::ZEROES);
        std::uint8_t out[8];
        cipher.Encrypt(plain.data(), out, 8);
        EXPECT_EQ(ToHex(out, 8), ToHex(expected.data(), 8)) << v.key;
        cipher.Decrypt(expected.data(), out, 8);
        EXPECT_EQ(ToHex(out, 8), ToHex(plain.data(), 8)) << v.key;
    }
}

TEST(BlowfishCipher, LongBuffersMatchBlockByBlock) {
    // Buffers are enciphered several blocks at a time; each block must come out as alone.
    CBlowfishCipher cipher;
    Key(cipher, "Pell-Q-Dor");
    const Bytes plain = Pattern(8 * 45);
    Bytes whole(plain.size()), single(plain.size()), back(plain.size());
    cipher.Encrypt(plain.data(), whole.data(), plain.size());
    for (std::size_t i = 0; i < plain.size(); i += 8)
        cipher.Encrypt(plain.data() + i, single.data() + i, 8);
    EXPECT_EQ(whole, single);
    cipher.Decrypt(whole.data(), back.data(), whole.size());
    EXPECT_EQ(back, plain);
    // In place.
    Bytes inPlace = plain;
    cipher.Encrypt(inPlace.data(), inPlace.data(), inPlace.size());
    EXPECT_EQ(inPlace, whole);
}

TEST(BlowfishCipher, KeyExpansion) {
    CBlowfishCipher a, b;
    Key(a, "ab");
    Key(b, "abab");
    EXPECT_EQ(std::memcmp(a.ExpandedKey(), b.ExpandedKey(), 56), 0);
    EXPECT_EQ(KeyCheck(a), KeyCheck(b));
    EXPECT_EQ(a.ExpandedKey()[54], 'a');
    EXPECT_EQ(a.ExpandedKey()[55], 'b');

    const std::string longKey = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    Key(a, longKey);
    Key(b, longKey.substr(0, 56));
    EXPECT_EQ(KeyCheck(a), KeyCheck(b));
    const std::uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::uint8_t outA[8], outB[8];
    a.Encrypt(block, outA, 8);
    b.Encrypt(block, outB, 8);
    EXPECT_EQ(std::memcmp(outA, outB, 8), 0);

    Key(b, longKey.substr(0, 55));
    EXPECT_NE(KeyCheck(a), KeyCheck(b));
}

TEST(BlowfishCipher, KeyCheckIsDigestOfNameKeyAndModes) {
    CBlowfishCipher cipher;
    Key(cipher, "ab");
    std::string text = "BLOWFISH";
    for (int i = 0; i < 28; ++i) text += "ab";
    CSHA sha;
    std::string withModes = text + "00";
    sha.AddData(reinterpret_cast<const std::uint8_t*>(withModes.data()), 66);
    std::uint8_t digest[32];
    sha.FinalDigest(digest);
    EXPECT_EQ(KeyCheck(cipher), ToHex(digest, 32));

    Key(cipher, "ab", CBlockCipher::CBC, CBlockCipher::PKCS7);
    withModes = text + "12";
    sha.AddData(reinterpret_cast<const std::uint8_t*>(withModes.data()), 66);
    sha.FinalDigest(digest);
    EXPECT_EQ(KeyCheck(cipher), ToHex(digest, 32));

    // The digest stops at a zero byte in the key.
    const std::string zeroKey("x\0", 2);
    Key(cipher, zeroKey);
    sha.AddData(reinterpret_cast<const std::uint8_t*>("BLOWFISHx"), 9);
    sha.FinalDigest(digest);
    EXPECT_EQ(KeyCheck(cipher), ToHex(digest, 32));
}

TEST(BlowfishCipher, RekeyingFollowsTheKey) {
    CBlowfishCipher cipher;
    const std::uint8_t block[8] = {};
    std::uint8_t first[8], other[8], again[8];
    Key(cipher, "first");
    cipher.Encrypt(block, first, 8);
    Key(cipher, "other");
    cipher.Encrypt(block, other, 8);
    Key(cipher, "first");
    cipher.Encrypt(block, again, 8);
    EXPECT_NE(std::memcmp(first, other, 8), 0);
    EXPECT_EQ(std::memcmp(first, again, 8), 0);
}

TEST(BlowfishCipher, SetKeyAndUseErrors) {
    CBlowfishCipher cipher;
    std::uint8_t buffer[16] = {};
    const std::string notInitialized =
        "FileCrypt ERROR: Encryption/Decryption Object not Initialized!";
    ExpectError([&] { cipher.Encrypt(buffer, buffer, 8); }, notInitialized);
    ExpectError([&] { cipher.GetBlockSize(); }, notInitialized);
    ExpectError([&] { cipher.EncryptFile("a", "b"); }, notInitialized);
    ExpectError([&] { cipher.SetKey(nullptr, 4, kZeroVector, 0, 0); },
                "FileCrypt ERROR: No Key DataSpecified!");
    ExpectError([&] { cipher.SetKey(buffer, 0, kZeroVector, 0, 0); },
                "FileCrypt ERROR: Key Data Length should be > 0!");
    ExpectError([&] { cipher.SetKey(buffer, 4, kZeroVector, 3, 0); },
                "FileCrypt ERROR: Illegal Operation Mode!");
    ExpectError([&] { cipher.SetKey(buffer, 4, kZeroVector, 0, -1); },
                "FileCrypt ERROR: Illegal Padding Mode!");
    ExpectError([&] { cipher.GetMode(); }, notInitialized);

    Key(cipher, "key");
    EXPECT_EQ(cipher.GetBlockSize(), 8);
    EXPECT_EQ(cipher.GetKeyLength(), 56);
    ExpectError([&] { cipher.Encrypt(buffer, buffer, 12); }, "Illegal Block Size!");
    ExpectError([&] { cipher.Decrypt(buffer, buffer, 0); }, "Illegal Block Size!");
}

TEST(BlowfishCipher, Padding) {
    CBlowfishCipher cipher;
    std::uint8_t buffer[16];
    const struct {
        int padding;
        std::uint8_t fill;
    } cases[] = {{CBlockCipher::ZEROES, 0}, {CBlockCipher::BLANKS, 0x20}, {CBlockCipher::PKCS7, 3}};
    for (const auto& c : cases) {
        Key(cipher, "key", CBlockCipher::ECB, c.padding);
        std::memset(buffer, 0xAA, sizeof buffer);
        EXPECT_EQ(cipher.Pad(buffer, 13), 16u);
        for (int i = 13; i < 16; ++i) EXPECT_EQ(buffer[i], c.fill) << c.padding;
        EXPECT_EQ(buffer[12], 0xAA);
        // A whole number of blocks gets nothing added.
        EXPECT_EQ(cipher.Pad(buffer, 8), 8u);
        EXPECT_EQ(buffer[8], 0xAA);
    }
}

TEST(BlowfishCipher, ChainingModes) {
    const std::uint32_t vector[2] = {0x01234567, 0x89ABCDEF};
    const Bytes plain = Pattern(8 * 9);
    CBlowfishCipher ecb, chained;
    Key(ecb, "chain");
    for (int mode : {CBlockCipher::CBC, CBlockCipher::CFB}) {
        Key(chained, "chain", mode, CBlockCipher::ZEROES, vector);
        Bytes cipherText(plain.size()), back(plain.size());
        chained.Encrypt(plain.data(), cipherText.data(), 40);
        chained.Encrypt(plain.data() + 40, cipherText.data() + 40, plain.size() - 40);
        chained.ResetChain();
        chained.Decrypt(cipherText.data(), back.data(), back.size());
        EXPECT_EQ(back, plain) << mode;

        // Each block depends on the one before: rebuild block 2 from block 1 with plain ECB.
        std::uint8_t block[8];
        if (mode == CBlockCipher::CBC) {
            for (int i = 0; i < 8; ++i) block[i] = plain[8 + i] ^ cipherText[i];
            ecb.Encrypt(block, block, 8);
        } else {
            ecb.Encrypt(cipherText.data(), block, 8);
            for (int i = 0; i < 8; ++i) block[i] ^= plain[8 + i];
        }
        EXPECT_EQ(ToHex(block, 8), ToHex(cipherText.data() + 8, 8)) << mode;
    }
}

// The key and its schedule do not outlive the cipher in memory.
TEST(BlowfishCipher, KeyMaterialIsClearedWithTheCipher) {
    alignas(CBlowfishCipher) unsigned char storage[sizeof(CBlowfishCipher)];
    auto* cipher = new (storage) CBlowfishCipher;
    Key(*cipher, "Pell-Q-Dor");
    cipher->~CBlowfishCipher();
    const std::string bytes(reinterpret_cast<const char*>(storage), sizeof storage);
    EXPECT_EQ(bytes.find("Pell-Q-Dor"), std::string::npos);
    const auto left = std::count_if(bytes.begin(), bytes.end(), [](char c) { return c != 0; });
    EXPECT_LT(left, 64) << "of " << sizeof storage << " bytes";
}
