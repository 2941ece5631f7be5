#pragma once

// Runs a piece of work in a child process whose address space may grow by only so much beyond
// what it had when it started (setrlimit(RLIMIT_AS)), and gives back the text the work returned
// and the seconds it took. A crash, an abort for want of memory or a hang (killed after
// `timeoutSeconds`) show as `finished` false. Under AddressSanitizer, whose shadow memory takes
// terabytes of address space, no limit is set; the rest holds.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#define QUILLET_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLET_TEST_ASAN 1
#endif
#endif

namespace testsupport {

// What "fails fast" means in a test: under a second, or (the sanitizers' debug builds run many
// times slower) under twenty.
#ifdef QUILLET_TEST_ASAN
inline constexpr double kQuickSeconds = 20;
#else
inline constexpr double kQuickSeconds = 1;
#endif

struct LimitedResult {
    bool finished = false;
    std::string text;
    double seconds = 0;
};

// The process's address space now, in bytes.
inline uint64_t AddressSpace() {
    unsigned long long pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%llu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    return pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

template <class Work>
LimitedResult RunLimited(uint64_t extraBytes, Work work, int timeoutSeconds = 60) {
    LimitedResult result;
    int fds[2];
    if (pipe(fds) != 0) return result;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return result;
    }
    if (child == 0) {
        close(fds[0]);
        alarm(static_cast<unsigned>(timeoutSeconds));
#ifndef QUILLET_TEST_ASAN
        const rlim_t limit = AddressSpace() + extraBytes;
        const rlimit bound{limit, limit};
        setrlimit(RLIMIT_AS, &bound);
#else
        (void)extraBytes;
#endif
        const auto start = std::chrono::steady_clock::now();
        const std::string text = work();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const std::string out = std::to_string(seconds) + "\n" + text;
        if (write(fds[1], out.data(), out.size()) != static_cast<ssize_t>(out.size())) _exit(2);
        _exit(0);
    }
    close(fds[1]);
    std::string out;
    char buffer[4096];
    for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, got);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    const size_t line = out.find('\n');
    result.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0 && line != std::string::npos;
    if (result.finished) {
        result.seconds = std::stod(out.substr(0, line));
        result.text = out.substr(line + 1);
    }
    return result;
}

}  // namespace testsupport
