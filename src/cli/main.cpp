#include "cli/command_registry.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

namespace cli {

namespace {
std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}
}  // namespace

bool RegisterCommand(Command command) {
    Registry().push_back(std::move(command));
    return true;
}

const std::vector<Command>& Commands() {
    return Registry();
}

bool ParseInt(const std::string& text, int& value) {
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) {
        std::fprintf(stderr, "not a number: %s\n", text.c_str());
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

bool TakeStringOption(Arguments& args, const std::string& name, std::string& value) {
    auto it = std::find(args.begin(), args.end(), name);
    if (it == args.end()) return true;
    if (it + 1 == args.end()) {
        std::fprintf(stderr, "%s needs a value\n", name.c_str());
        return false;
    }
    value = *(it + 1);
    args.erase(it, it + 2);
    return true;
}

bool TakeIntOption(Arguments& args, const std::string& name, int& value) {
    std::string text;
    if (!TakeStringOption(args, name, text)) return false;
    return text.empty() || ParseInt(text, value);
}

bool TakeFlag(Arguments& args, const std::string& name) {
    auto it = std::find(args.begin(), args.end(), name);
    if (it == args.end()) return false;
    args.erase(it);
    return true;
}

}  // namespace cli

namespace {
void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: quillet-tool COMMAND ARGUMENTS...\n");
    std::vector<const cli::Command*> sorted;
    for (const auto& command : cli::Commands()) sorted.push_back(&command);
    std::sort(sorted.begin(), sorted.end(),
              [](const cli::Command* a, const cli::Command* b) { return a->name < b->name; });
    for (const auto* command : sorted)
        std::fprintf(out, "  quillet-tool %s\n", command->usage.c_str());
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    const std::string name = argv[1];
    for (const auto& command : cli::Commands()) {
        if (command.name == name) return command.run(cli::Arguments(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "unknown command: %s\n", name.c_str());
    PrintUsage(stderr);
    return 2;
}
