#include "tools/crypt/sha.h"

#include "crypt_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using filecrypt::CSHA;

namespace {

std::string Digest(CSHA& sha) {
    std::uint8_t digest[CSHA::kDigestSize];
    sha.FinalDigest(digest);
    return ToHex(digest, sizeof digest);
}

void Add(CSHA& sha, const std::string& text) {
    sha.AddData(reinterpret_cast<const std::uint8_t*>(text.data()),
                static_cast<long long>(text.size()));
}

}  // namespace

TEST(Sha, PublishedVectors) {
    CSHA sha;
    Add(sha, "abc");
    EXPECT_EQ(Digest(sha), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // The object starts over after each digest.
    Add(sha, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq");
    EXPECT_EQ(Digest(sha), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(Sha, MillionAsInUnevenPieces) {
    CSHA sha;
    const std::string piece(997, 'a');
    std::size_t added = 0;
    for (; added + piece.size() <= 1000000; added += piece.size()) Add(sha, piece);
    Add(sha, std::string(1000000 - added, 'a'));
    EXPECT_EQ(Digest(sha), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha, Errors) {
    CSHA sha;
    const std::uint8_t byte = 0;
    std::uint8_t digest[CSHA::kDigestSize];
    ExpectError([&] { sha.AddData(&byte, 0); },
                "FileCrypt ERROR: in CSHA::AddData(), Data Length should be > 0!");
    ExpectError([&] { sha.FinalDigest(digest); },
                "FileCrypt ERROR: in CSHA::FinalDigest(), No data Added before call!");
    sha.AddData(&byte, 1);
    sha.FinalDigest(digest);
    ExpectError([&] { sha.FinalDigest(digest); },
                "FileCrypt ERROR: in CSHA::FinalDigest(), No data Added before call!");
}
