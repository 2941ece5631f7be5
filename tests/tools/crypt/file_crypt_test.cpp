#include "tools/crypt/file_crypt.h"

#include "platform/message_box.h"
#include "crypt_test_support.h"
#include "tools/crypt/crypt_error.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

using filecrypt::CCryptError;
using filecrypt::FileCrypt;
using filecrypt::OutputPathFor;

namespace fs = std::filesystem;

namespace {

class FileCryptTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetMessageBoxRecorder([this](const platform::MessageBoxCall& call) {
            messages.push_back(call);
            return platform::kAnswerOk;
        });
    }
    void TearDown() override { platform::SetMessageBoxRecorder({}); }

    // Encrypts name with password into "E_name"; returns the engine's outcome.
    bool Encrypt(const std::string& name, const std::string& password = "Pell-Q-Dor") {
        return Process(name, password, false);
    }
    bool Decrypt(const std::string& name, const std::string& password = "Pell-Q-Dor") {
        return Process(name, password, true);
    }
    bool Process(const std::string& name, const std::string& password, bool decrypt) {
        engine.SetPassword(password);
        engine.SetDecrypt(decrypt);
        const std::string input = dir.File(name);
        return engine.ProcessFile(input, OutputPathFor(input, decrypt));
    }
    std::string LastMessage() const { return messages.empty() ? "" : messages.back().text; }

    TempDir dir;
    FileCrypt engine;
    std::vector<platform::MessageBoxCall> messages;
};

}  // namespace

TEST_F(FileCryptTest, SizesAndPadding) {
    const struct {
        std::size_t input, encrypted, decrypted;
    } cases[] = {{0, 32, 0},         {5, 40, 8},         {384, 416, 384},         {768, 800, 768},
                 {1000, 1032, 1000}, {1001, 1040, 1008}, {100000, 100032, 100000}};
    for (const auto& c : cases) {
        const std::string name = "in" + std::to_string(c.input);
        const Bytes plain = Pattern(c.input, static_cast<std::uint32_t>(c.input));
        WriteFile(dir.File(name), plain);
        ASSERT_TRUE(Encrypt(name)) << LastMessage();
        EXPECT_EQ(fs::file_size(dir.File("E_" + name)), c.encrypted);
        ASSERT_TRUE(Decrypt("E_" + name)) << LastMessage();
        Bytes expected = plain;
        expected.resize(c.decrypted, 0);
        EXPECT_EQ(ReadFile(dir.File("D_E_" + name)), expected) << c.input;
    }
}

TEST_F(FileCryptTest, FileLayoutIsKeyCheckThenEcbBlocks) {
    const Bytes plain = Pattern(1003);
    WriteFile(dir.File("doc"), plain);
    ASSERT_TRUE(Encrypt("doc", "ab"));
    const Bytes encrypted = ReadFile(dir.File("E_doc"));

    filecrypt::CBlowfishCipher cipher;
    const std::uint32_t vector[2] = {0, 0};
    cipher.SetKey(reinterpret_cast<const std::uint8_t*>("abab"), 4, vector, 0, 0);
    std::uint8_t keyCheck[32];
    cipher.KeyDigest(keyCheck);
    EXPECT_EQ(ToHex(encrypted.data(), 32), ToHex(keyCheck, 32));
    Bytes padded = plain;
    padded.resize(1008, 0);
    cipher.Encrypt(padded.data(), padded.data(), padded.size());
    EXPECT_EQ(Bytes(encrypted.begin() + 32, encrypted.end()), padded);
}

TEST_F(FileCryptTest, MessagesTellTheOutcome) {
    WriteFile(dir.File("report.doc"), Pattern(20));
    ASSERT_TRUE(Encrypt("report.doc"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "FileCrypt: File " + dir.File("report.doc") + " Successfully Encrypted!");
    EXPECT_EQ(messages[0].icon, platform::MessageIcon::Information);
    ASSERT_TRUE(Decrypt("E_report.doc"));
    EXPECT_EQ(LastMessage(),
              "FileCrypt: File " + dir.File("E_report.doc") + " Successfully Decrypted!");
    EXPECT_EQ(ReadFile(dir.File("D_E_report.doc")).size(), 24u);

    EXPECT_FALSE(Encrypt("missing"));
    EXPECT_EQ(LastMessage(), "FileCrypt ERROR: Cannot open File " + dir.File("missing") + "!");
    EXPECT_EQ(messages.back().icon, platform::MessageIcon::Information);
    EXPECT_FALSE(fs::exists(dir.File("E_missing")));

    EXPECT_FALSE(Encrypt("report.doc", ""));
    EXPECT_EQ(LastMessage(), "FileCrypt ERROR: Key Data Length should be > 0!");
}

TEST_F(FileCryptTest, EncryptionUsesAbsolutePaths) {
    WriteFile(dir.File("rel"), Pattern(9));
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path);
    engine.SetPassword("pw");
    engine.SetDecrypt(false);
    const bool done = engine.ProcessFile("  rel ", " E_rel");
    fs::current_path(previous);
    ASSERT_TRUE(done) << LastMessage();
    EXPECT_EQ(LastMessage(), "FileCrypt: File " + dir.File("rel") + " Successfully Encrypted!");
    EXPECT_EQ(fs::file_size(dir.File("E_rel")), 48u);

    // Blanks that belong to a file's name stay.
    WriteFile(dir.File(" odd "), Pattern(3));
    ASSERT_TRUE(Encrypt(" odd ")) << LastMessage();
    EXPECT_TRUE(fs::exists(dir.File("E_ odd ")));
}

TEST_F(FileCryptTest, WrongPasswordLeavesNothingBehind) {
    WriteFile(dir.File("secret"), Pattern(500));
    ASSERT_TRUE(Encrypt("secret", "right"));
    EXPECT_FALSE(Decrypt("E_secret", "wrong"));
    EXPECT_EQ(LastMessage(),
              "FileCrypt ERROR: File " + dir.File("E_secret") + " cannot be Correctly Decrypted!");
    EXPECT_FALSE(fs::exists(dir.File("D_E_secret")));

    // An existing file of the output's name is not touched.
    WriteFile(dir.File("D_E_secret"), Pattern(7, 99));
    EXPECT_FALSE(Decrypt("E_secret", "wrong"));
    EXPECT_EQ(ReadFile(dir.File("D_E_secret")), Pattern(7, 99));

    // A file that was never encrypted, and one too short to hold a key check.
    WriteFile(dir.File("plain"), Pattern(4000));
    EXPECT_FALSE(Decrypt("plain"));
    WriteFile(dir.File("tiny"), Pattern(5));
    EXPECT_FALSE(Decrypt("tiny"));
    EXPECT_EQ(LastMessage(),
              "FileCrypt ERROR: File " + dir.File("tiny") + " cannot be Correctly Decrypted!");
    EXPECT_FALSE(fs::exists(dir.File("D_plain")));
    EXPECT_FALSE(fs::exists(dir.File("D_tiny")));
}

TEST_F(FileCryptTest, TruncatedCiphertext) {
    WriteFile(dir.File("data"), Pattern(800));
    ASSERT_TRUE(Encrypt("data"));
    Bytes encrypted = ReadFile(dir.File("E_data"));
    encrypted.erase(encrypted.end() - 3, encrypted.end());
    WriteFile(dir.File("E_data"), encrypted);
    EXPECT_FALSE(Decrypt("E_data"));
    EXPECT_EQ(LastMessage(), "Illegal Block Size!");
    EXPECT_FALSE(fs::exists(dir.File("D_E_data")));
}

TEST_F(FileCryptTest, OutputNeverOverwritesTheInput) {
    const Bytes plain = Pattern(64);
    WriteFile(dir.File("same"), plain);
    engine.SetPassword("pw");
    for (bool decrypt : {false, true}) {
        engine.SetDecrypt(decrypt);
        EXPECT_FALSE(engine.ProcessFile(dir.File("same"), dir.File("same")));
        EXPECT_EQ(LastMessage(),
                  "FileCrypt ERROR: The same File for Input and Output " + dir.File("same") + "!");
    }
    // The same file under other names.
    ASSERT_EQ(link(dir.File("same").c_str(), dir.File("hard").c_str()), 0);
    fs::create_symlink(dir.File("same"), dir.File("soft"));
    engine.SetDecrypt(false);
    EXPECT_FALSE(engine.ProcessFile(dir.File("same"), dir.File("hard")));
    EXPECT_FALSE(engine.ProcessFile(dir.File("same"), dir.File("soft")));
    EXPECT_EQ(LastMessage(),
              "FileCrypt ERROR: The same File for Input and Output " + dir.File("same") + "!");
    EXPECT_FALSE(engine.ProcessFile(dir.File("same"), dir.path + "/./same"));
    EXPECT_EQ(ReadFile(dir.File("same")), plain);
}

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

mode_t Permissions(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

// The output takes its name only once it is complete, as a new file with the input's bits.
TEST_F(FileCryptTest, OutputReplacesItsNameOnlyWhenComplete) {
    WriteFile(dir.File("big"), Pattern(200000));
    WriteFile(dir.File("E_big"), Pattern(40, 7));  // the output of an earlier run
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 65536;  // writes beyond fail, as on a full disk
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    const bool written = Encrypt("big");
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(written);
    EXPECT_EQ(LastMessage(), "FileCrypt ERROR: Cannot write File " + dir.File("E_big") + "!");
    EXPECT_EQ(ReadFile(dir.File("E_big")), Pattern(40, 7));
    EXPECT_EQ(Names(dir.path), (std::set<std::string>{"E_big", "big"}));

    // A link at the output name is replaced, never written through.
    WriteFile(dir.File("precious"), Pattern(30, 3));
    fs::create_symlink(dir.File("precious"), dir.File("E_g"));
    WriteFile(dir.File("g"), Pattern(100));
    chmod(dir.File("g").c_str(), 0640);
    const mode_t mask = umask(0);
    ASSERT_TRUE(Encrypt("g")) << LastMessage();
    ASSERT_TRUE(Decrypt("E_g")) << LastMessage();
    umask(mask);
    EXPECT_EQ(ReadFile(dir.File("precious")), Pattern(30, 3));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir.File("E_g"))));
    EXPECT_EQ(Permissions(dir.File("E_g")), 0640u);
    EXPECT_EQ(Permissions(dir.File("D_E_g")), 0640u);
}

TEST_F(FileCryptTest, UnusableFiles) {
    fs::create_directory(dir.File("folder"));
    EXPECT_FALSE(Encrypt("folder"));
    EXPECT_EQ(LastMessage(), "FileCrypt ERROR: Cannot open File " + dir.File("folder") + "!");
    EXPECT_FALSE(fs::exists(dir.File("E_folder")));

    WriteFile(dir.File("in"), Pattern(10));
    engine.SetPassword("pw");
    EXPECT_FALSE(engine.ProcessFile(dir.File("in"), dir.File("no/such/out")));
    EXPECT_EQ(LastMessage(), "FileCrypt ERROR: Cannot open File " + dir.File("no/such/out") + "!");
}

TEST_F(FileCryptTest, RunThrowsAndBusyHandlerBrackets) {
    std::vector<bool> states;
    engine.SetBusyHandler([&](bool busy) { states.push_back(busy); });
    engine.SetPassword("pw");
    EXPECT_THROW(engine.Run(dir.File("missing"), dir.File("out")), CCryptError);
    EXPECT_FALSE(engine.ProcessFile(dir.File("missing"), dir.File("out")));
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
    EXPECT_EQ(messages.size(), 1u);
}

TEST(OutputPath, PrefixesTheNameInItsFolder) {
    EXPECT_EQ(OutputPathFor("/home/u/report.doc", false), "/home/u/E_report.doc");
    EXPECT_EQ(OutputPathFor("/home/u/E_report.doc", true), "/home/u/D_E_report.doc");
    EXPECT_EQ(OutputPathFor("name.tar.gz", false), "E_name.tar.gz");
    EXPECT_EQ(OutputPathFor("", true), "D_");
}
