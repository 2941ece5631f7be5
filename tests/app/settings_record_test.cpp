#include "app/settings_record.h"

#include "support/temp_folder.h"
#include "support/unprivileged.h"

#include <QDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>

namespace {

std::string Path(const TempFolder& folder) {
    return folder.File("quillet.ini").toStdString();
}

TEST(SettingsRecord, DefaultBytesFollowTheFileLayout) {
    const auto bytes = SettingsRecord{}.ToBytes();
    ASSERT_EQ(bytes.size(), 616u);
    const std::uint8_t head[] = {1, 0, 0, 0, '.', 'b', 'm', 'p', 0};
    EXPECT_EQ(0, std::memcmp(bytes.data(), head, sizeof head));
    const std::uint8_t thumbBox[] = {0x3C, 0, 0, 0, 0x50, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(bytes.data() + 32, thumbBox, sizeof thumbBox));
    EXPECT_EQ(0, std::memcmp(bytes.data() + 568, "IMG", 4));
    for (int i = 13; i < 24; ++i) EXPECT_EQ(bytes[i], 0) << "thumbnailPercent byte " << i;
    for (int i = 600; i < 616; ++i) EXPECT_EQ(bytes[i], 0) << "byte " << i;
}

TEST(SettingsRecord, FieldsRoundTripAtTheirOffsets) {
    SettingsRecord record;
    record.sessionNumber = 0x01020304;
    record.startingNumber = -2;
    record.expertMode = 1;
    record.reserved = 77;
    SetTextField(record.defaultSaveDir, "/home/u/bin/session7/");
    const auto bytes = record.ToBytes();
    EXPECT_EQ(bytes[604], 4);
    EXPECT_EQ(bytes[607], 1);
    EXPECT_EQ(bytes[600], 0xFE);
    EXPECT_EQ(bytes[603], 0xFF);
    EXPECT_EQ(0, std::memcmp(bytes.data() + 48, "/home/u/bin/session7/", 22));

    SettingsRecord back;
    back.OverlayBytes(bytes.data(), bytes.size());
    EXPECT_EQ(back.ToBytes(), bytes);
}

TEST(SettingsRecord, ShortFileReplacesOnlyTheBytesItHas) {
    TempFolder folder;
    SettingsRecord stored;
    stored.generateThumbnails = 0;
    stored.thumbHeight = 120;
    stored.sessionNumber = 9;
    const auto bytes = stored.ToBytes();
    folder.Write("quillet.ini", QByteArray(reinterpret_cast<const char*>(bytes.data()), 36));

    SettingsRecord record;
    ASSERT_TRUE(ReadSettings(Path(folder), record));
    EXPECT_EQ(record.generateThumbnails, 0);
    EXPECT_EQ(record.thumbHeight, 120);
    EXPECT_EQ(record.thumbWidth, 80) << "past the end of the file the default stays";
    EXPECT_EQ(record.sessionNumber, 0);
    EXPECT_STREQ(record.filePrefix, "IMG");
}

TEST(SettingsRecord, UnterminatedTextsFromAFileStayBounded) {
    TempFolder folder;
    folder.Write("quillet.ini", QByteArray(616, 'A'));
    SettingsRecord record;
    ASSERT_TRUE(ReadSettings(Path(folder), record));
    EXPECT_EQ(std::strlen(record.filePrefix), 31u);
    EXPECT_EQ(std::strlen(record.fileExtension), 8u);
}

TEST(SettingsRecord, MissingFileIsReportedAndWriteReplacesWhole) {
    TempFolder folder;
    SettingsRecord record;
    EXPECT_FALSE(ReadSettings(Path(folder), record));
    folder.Write("quillet.ini", QByteArray(2000, 'x'));
    record.sessionNumber = 3;
    ASSERT_TRUE(WriteSettings(Path(folder), record));
    const QByteArray written = folder.Read("quillet.ini");
    ASSERT_EQ(written.size(), 616);
    EXPECT_EQ(written[604], 3);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"quillet.ini"})
        << "no temporary file is left behind";
}

// The folder can be read but not written: the old file can be neither replaced nor rewritten.
TEST(SettingsRecord, UnwritableFolderLeavesTheOldFileIntact) {
    TempFolder folder;
    SettingsRecord old;
    old.sessionNumber = 41;
    const auto bytes = old.ToBytes();
    const QByteArray oldBytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    folder.Write("quillet.ini", oldBytes);
    chmod(Path(folder).c_str(), 0644);
    chmod(folder.path().toLocal8Bit().constData(), 0555);
    {
        UnprivilegedScope user;
        EXPECT_FALSE(WriteSettings(Path(folder), SettingsRecord{}));
    }
    chmod(folder.path().toLocal8Bit().constData(), 0700);
    EXPECT_EQ(folder.Read("quillet.ini"), oldBytes);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"quillet.ini"});
}

// A file that could not be written in place is never replaced, though its folder would allow it;
// a writable one keeps its permission bits, and a stale temporary file of a crash goes.
TEST(SettingsRecord, ReadOnlyFilesAreNeverReplaced) {
    TempFolder folder;
    chmod(folder.path().toLocal8Bit().constData(), 0777);
    const std::string mail = folder.File("quilletemail.ini").toStdString();
    folder.Write("quillet.ini", QByteArray(616, '\1'));
    folder.Write("quilletemail.ini", "smtp.old\n");
    chmod(Path(folder).c_str(), 0444);
    chmod(mail.c_str(), 0444);
    {
        UnprivilegedScope user;
        SettingsRecord record;
        EXPECT_TRUE(ReadSettings(Path(folder), record)) << "read-only, yet it exists";
        EXPECT_EQ(record.sessionNumber, 0x01010101);
        EXPECT_FALSE(WriteSettings(Path(folder), SettingsRecord{}));
        EXPECT_FALSE(WriteMailServer(mail, "smtp.new"));
    }
    EXPECT_EQ(folder.Read("quillet.ini"), QByteArray(616, '\1'));
    EXPECT_EQ(folder.Read("quilletemail.ini"), QByteArray("smtp.old\n"));

    chmod(Path(folder).c_str(), 0640);
    folder.Write("quillet.ini.part-999999999-0", "left by a crash");
    ASSERT_TRUE(WriteSettings(Path(folder), SettingsRecord{}));
    struct stat info {};
    ASSERT_EQ(stat(Path(folder).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_FALSE(folder.Exists("quillet.ini.part-999999999-0"));
}

TEST(SettingsRecord, LongPrefixIsCutAndNeverSpillsIntoTheNextField) {
    SettingsRecord record;
    record.startingNumber = 5;
    SetTextField(record.filePrefix, std::string(40, 'P'));
    EXPECT_EQ(std::strlen(record.filePrefix), 31u);
    EXPECT_EQ(record.startingNumber, 5);
    EXPECT_EQ(record.ToBytes()[599], 0);
}

TEST(SettingsRecord, TypedNumbersConvertAsDecimals) {
    EXPECT_EQ(ParseTypedNumber("12abc"), 12);
    EXPECT_EQ(ParseTypedNumber("abc"), 0);
    EXPECT_EQ(ParseTypedNumber("   -7"), -7);
    EXPECT_EQ(ParseTypedNumber("+42 3"), 42);
    EXPECT_EQ(ParseTypedNumber(""), 0);
    EXPECT_EQ(ParseTypedNumber("99999999999"), 2147483647);
    EXPECT_EQ(ParseTypedNumber("-99999999999"), -2147483647 - 1);
}

TEST(SettingsRecord, MailServerIsTheFirstWord) {
    TempFolder folder;
    const std::string path = folder.File("quilletemail.ini").toStdString();
    EXPECT_EQ(ReadMailServer(path), "");
    folder.Write("quilletemail.ini", "smtp.example.org backup.example.org\n");
    EXPECT_EQ(ReadMailServer(path), "smtp.example.org");
    folder.Write("quilletemail.ini", QByteArray(300, 'm'));
    EXPECT_EQ(ReadMailServer(path).size(), 127u);
    ASSERT_TRUE(WriteMailServer(path, "mail.local"));
    EXPECT_EQ(folder.Read("quilletemail.ini"), QByteArray("mail.local\n"));
}

}  // namespace
