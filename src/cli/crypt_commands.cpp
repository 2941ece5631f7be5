// quillet-tool encrypt / decrypt: the file encryption engine on the command line.
#include "cli/command_registry.h"

#include "tools/crypt/file_crypt.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace {

// Writes "E_name" or "D_name" beside FILE and prints the engine's message.
int RunCrypt(cli::Arguments args, bool decrypt) {
    std::string password;
    const bool hasPassword = std::find(args.begin(), args.end(), "--password") != args.end();
    if (!cli::TakeStringOption(args, "--password", password)) return 2;
    if (args.size() != 1 || !hasPassword) {
        std::fprintf(stderr, "usage: quillet-tool %s FILE --password P\n",
                     decrypt ? "decrypt" : "encrypt");
        return 2;
    }
    filecrypt::FileCrypt engine;
    engine.SetDecrypt(decrypt);
    engine.SetPassword(password);
    try {
        const std::string& input = args.front();
        std::printf("%s\n", engine.Run(input, filecrypt::OutputPathFor(input, decrypt)).c_str());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}

const bool registered =
    cli::RegisterCommand({"encrypt", "encrypt FILE --password P",
                          [](const cli::Arguments& args) { return RunCrypt(args, false); }}) &&
    cli::RegisterCommand({"decrypt", "decrypt FILE --password P",
                          [](const cli::Arguments& args) { return RunCrypt(args, true); }});

}  // namespace
