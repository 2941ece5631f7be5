// quillet-tool encrypt and decrypt: where the password comes from.
#include "crypt_test_support.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

// Runs a shell command line with the tool's output hidden; returns the exit status.
int Shell(const std::string& line) {
    const int status = std::system((line + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The tool on a terminal of its own: reads what it shows until `wanted` appears.
class TerminalRun {
  public:
    explicit TerminalRun(const std::vector<std::string>& arguments) {
        pid = forkpty(&terminal, nullptr, nullptr, nullptr);
        if (pid == 0) {
            std::vector<char*> argv{const_cast<char*>(QUILLET_TOOL)};
            for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(QUILLET_TOOL, argv.data());
            _exit(127);
        }
    }
    ~TerminalRun() {
        if (terminal >= 0) close(terminal);
        if (pid > 0) waitpid(pid, nullptr, 0);
    }
    bool WaitFor(const std::string& wanted) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (shown.find(wanted) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end) return false;
            pollfd fd{terminal, POLLIN, 0};
            if (poll(&fd, 1, 100) <= 0) continue;
            char chunk[256];
            const ssize_t got = read(terminal, chunk, sizeof chunk);
            if (got <= 0) return false;
            shown.append(chunk, static_cast<std::size_t>(got));
        }
        return true;
    }
    void Type(const std::string& text) { (void)!write(terminal, text.data(), text.size()); }
    int Status() {
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string shown;

  private:
    int terminal = -1;
    pid_t pid = -1;
};

TEST(CryptTool, PasswordFromAFileOrStandardInput) {
    TempDir dir;
    const std::string tool = QUILLET_TOOL;
    WriteFile(dir.File("doc"), Pattern(20));
    WriteFile(dir.File("pw"), Bytes{'s', 'e', 'c', 'r', 'e', 't', '\n', 'x', '\n'});
    ASSERT_EQ(Shell(tool + " encrypt " + dir.File("doc") + " --password-file " + dir.File("pw")),
              0);
    EXPECT_EQ(Shell(tool + " decrypt " + dir.File("E_doc") + " --password wrong"), 1);
    ASSERT_EQ(Shell("printf 'secret\\r\\n' | " + tool + " decrypt " + dir.File("E_doc") +
                    " --password-file -"),
              0)
        << "the first line, without its line end";
    Bytes expected = Pattern(20);
    expected.resize(24, 0);
    EXPECT_EQ(ReadFile(dir.File("D_E_doc")), expected);

    // Without a password and without a terminal to ask on, nothing is written.
    EXPECT_EQ(Shell(tool + " encrypt " + dir.File("doc") + " </dev/null"), 2);
    EXPECT_EQ(Shell(tool + " encrypt " + dir.File("doc") + " --password a --password-file -"), 2);
}

TEST(CryptTool, TerminalPromptHidesThePasswordAndEncryptionAsksTwice) {
    TempDir dir;
    WriteFile(dir.File("doc"), Pattern(20));
    {
        TerminalRun run({"encrypt", dir.File("doc")});
        ASSERT_TRUE(run.WaitFor("Password: "));
        run.Type("hidden-word\n");
        ASSERT_TRUE(run.WaitFor("Password again: "));
        run.Type("hidden-word\n");
        ASSERT_TRUE(run.WaitFor("Successfully Encrypted!"));
        EXPECT_EQ(run.Status(), 0);
        EXPECT_EQ(run.shown.find("hidden-word"), std::string::npos) << run.shown;
    }
    {
        TerminalRun run({"decrypt", dir.File("E_doc")});
        ASSERT_TRUE(run.WaitFor("Password: "));
        run.Type("hidden-word\n");
        ASSERT_TRUE(run.WaitFor("Successfully Decrypted!")) << run.shown;
        EXPECT_EQ(run.shown.find("again"), std::string::npos);
    }
    TerminalRun mistyped({"encrypt", dir.File("doc")});
    ASSERT_TRUE(mistyped.WaitFor("Password: "));
    mistyped.Type("one\n");
    ASSERT_TRUE(mistyped.WaitFor("Password again: "));
    mistyped.Type("two\n");
    EXPECT_EQ(mistyped.Status(), 2);
}

}  // namespace
