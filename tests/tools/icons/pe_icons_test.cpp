#include "platform/icon_pictures.h"
#include "platform/pe_resources.h"
#include "support/limited_child.h"
#include "tools/icons/pe_writer.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace {

using testpe::Bytes;
using testpe::SolidBitmap;

std::vector<platform::IconPictures> Extract(const Bytes& file) {
    return platform::ExtractIcons(file.data(), file.size());
}

Bytes ReadFixture(const char* name) {
    QFile file(QString(ICON_FIXTURES) + "/" + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    const QByteArray bytes = file.readAll();
    return Bytes(bytes.begin(), bytes.end());
}

QRgb Opaque(const QImage& image, int x, int y) {
    return image.pixel(x, y) | 0xFF000000u;
}

int Alpha(const QImage& image, int x, int y) {
    return qAlpha(image.pixel(x, y));
}

Bytes ThreeIcons(bool plus) {
    return testpe::WritePe(
        {{{32, 32, SolidBitmap(32, 0xFF0000)}},
         {{32, 32, SolidBitmap(32, 0x00FF00)}, {16, 32, SolidBitmap(16, 0x0000FF)}},
         {{32, 32, SolidBitmap(32, 0x808080, true)}}},
        plus);
}

}  // namespace

TEST(PeIcons, OneAndThreeIconsOfBothFormats) {
    for (const bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        const auto one = Extract(testpe::WritePe({{{32, 32, SolidBitmap(32, 0x123456)}}}, plus));
        ASSERT_EQ(one.size(), 1u);
        EXPECT_EQ(one[0].large.size(), QSize(32, 32));
        EXPECT_EQ(one[0].small.size(), QSize(16, 16));
        EXPECT_EQ(Opaque(one[0].large, 5, 5), 0xFF123456u);

        const auto three = Extract(ThreeIcons(plus));
        ASSERT_EQ(three.size(), 3u);
        EXPECT_EQ(Opaque(three[0].large, 16, 16), 0xFFFF0000u);
        EXPECT_EQ(Opaque(three[1].large, 16, 16), 0xFF00FF00u);
        // The exact 16 x 16 picture, not the larger one reduced.
        EXPECT_EQ(Opaque(three[1].small, 8, 8), 0xFF0000FFu);
        // All-zero alpha: the mask cuts the top-left quarter out.
        EXPECT_EQ(Alpha(three[2].large, 2, 2), 0);
        EXPECT_EQ(Alpha(three[2].large, 30, 30), 255);
    }
}

// Libraries made by the resource compiler and linker of a real toolchain
// (fixtures/make_fixtures.sh).
TEST(PeIcons, LibrariesFromARealToolchain) {
    for (const char* name : {"icons32.dll", "icons64.dll"}) {
        SCOPED_TRACE(name);
        const Bytes file = ReadFixture(name);
        const auto groups = platform::ReadPeIconGroups(file.data(), file.size());
        ASSERT_EQ(groups.size(), 3u);
        EXPECT_EQ(groups[0].images.size(), 2u);  // the named group comes first
        EXPECT_EQ(groups[1].images.size(), 3u);  // then 7, then 42
        ASSERT_EQ(groups[2].images.size(), 2u);
        EXPECT_EQ(groups[2].images[1].width, 256);

        const auto icons = Extract(file);
        ASSERT_EQ(icons.size(), 3u);
        // "ZEBRA": 32-bit alpha in the large picture, a 4-bit mask in the exact small one.
        EXPECT_EQ(Opaque(icons[0].large, 16, 16), qRgb(200, 30, 30));
        EXPECT_EQ(Alpha(icons[0].large, 0, 10), 0);
        EXPECT_EQ(Opaque(icons[0].small, 8, 8), qRgb(255, 0, 0));
        EXPECT_EQ(Alpha(icons[0].small, 1, 1), 0);
        // 7: the 32-bit picture beats the 8-bit one of the same size and the larger 24-bit one;
        // it also makes the small picture, being the nearest larger.
        EXPECT_EQ(Opaque(icons[1].large, 20, 20), qRgb(0, 200, 0));
        EXPECT_EQ(Alpha(icons[1].large, 2, 2), 0);
        EXPECT_EQ(Opaque(icons[1].small, 12, 12), qRgb(0, 200, 0));
        // 42: the PNG reduced for the large picture, the nearer 24 x 24 for the small one.
        EXPECT_EQ(icons[2].large.size(), QSize(32, 32));
        EXPECT_EQ(Opaque(icons[2].large, 16, 16), qRgb(128, 0, 128));
        EXPECT_EQ(icons[2].small.size(), QSize(16, 16));
        EXPECT_EQ(Opaque(icons[2].small, 8, 8), qRgb(255, 128, 0));
    }
}

TEST(PeIcons, HostileFilesListNothingAndNeverCrash) {
    const Bytes good = ThreeIcons(true);
    EXPECT_TRUE(Extract(Bytes{'M', 'Z'}).empty());
    EXPECT_TRUE(platform::ExtractIcons(static_cast<const uint8_t*>(nullptr), 0).empty());
    Bytes text(4096, 'x');
    EXPECT_TRUE(Extract(text).empty());

    // Cut short anywhere: never more icons than the whole file, none without the headers.
    for (size_t length = 0; length < good.size(); length += 7) {
        const Bytes cut(good.begin(), good.begin() + static_cast<long>(length));
        const auto icons = Extract(cut);
        EXPECT_LE(icons.size(), 3u);
        if (length < testpe::kSectionOffset + 32) {
            EXPECT_TRUE(icons.empty()) << length;
        }
    }

    // The icon type's directory leads back to the root.
    Bytes looped = good;
    testpe::Put(looped, testpe::kSectionOffset + 20, 0x80000000u, 4);
    EXPECT_TRUE(Extract(looped).empty());

    // A directory claiming 65535 entries, a section beyond the file's end.
    Bytes counted = good;
    testpe::Put(counted, testpe::kSectionOffset + 14, 0xFFFF, 2);
    EXPECT_TRUE(Extract(counted).empty());
    Bytes beyond = good;
    testpe::Put(beyond, 0x58 + 240 + 20, 0x7FFFFFF0u, 4);
    EXPECT_TRUE(Extract(beyond).empty());

    // Random damage to the headers and the directories.
    std::mt19937 random(20);
    for (int round = 0; round < 2000; ++round) {
        Bytes damaged = good;
        for (int i = 0; i < 4; ++i) {
            const size_t at = random() % (testpe::kSectionOffset + 400);
            damaged[at] = static_cast<uint8_t>(random());
        }
        EXPECT_LE(Extract(damaged).size(), 3u);
    }
}

// Resources that claim billions of entries from a megabyte: what fits the reader's budget is
// listed, the file is said to be cut short, and the child doing it maps under 200 MB more.
TEST(PeIcons, AmplifyingFilesAreCutShortQuickly) {
    const struct {
        const char* what;
        Bytes file;
    } cases[] = {
        {"65,535 groups naming one 65,535-entry group", testpe::AmplifyingPe(65535, 65535, 1)},
        {"65,535 names sharing a 65,535-entry language directory",
         testpe::AmplifyingPe(65535, 1, 65535)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_LT(c.file.size(), size_t{3} << 20);
        const testsupport::LimitedResult result = testsupport::RunLimited(uint64_t{200} << 20, [&] {
            bool cutShort = false;
            const auto icons = platform::ExtractIcons(c.file.data(), c.file.size(), &cutShort);
            const bool blue = !icons.empty() && Opaque(icons[0].large, 8, 8) == 0xFF2050C8u;
            return std::to_string(icons.size()) + (cutShort ? " cut" : " whole") +
                   (blue ? " blue" : "");
        });
        ASSERT_TRUE(result.finished);
        std::printf("%s: %s in %.0f ms\n", c.what, result.text.c_str(), result.seconds * 1000);
        EXPECT_LT(result.seconds, testsupport::kQuickSeconds);
        const size_t count = std::stoul(result.text);
        EXPECT_GE(count, 1u);
        EXPECT_LE(count, platform::PeBudget{}.groups);
        EXPECT_NE(result.text.find(" cut blue"), std::string::npos) << result.text;
    }
    // Within the budget nothing is cut: the small versions list every group.
    bool cutShort = true;
    const Bytes small = testpe::AmplifyingPe(300, 20, 1);
    EXPECT_EQ(platform::ExtractIcons(small.data(), small.size(), &cutShort).size(), 300u);
    EXPECT_FALSE(cutShort);
}
