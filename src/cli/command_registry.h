#pragma once

#include <functional>
#include <string>
#include <vector>

namespace cli {

using Arguments = std::vector<std::string>;

// One quillet-tool command: `quillet-tool NAME ARGUMENTS...`. `run` returns the exit status.
struct Command {
    std::string name;
    std::string usage;  // shown by `quillet-tool --help`, e.g. "convert IN OUT [--frame N]"
    std::function<int(const Arguments&)> run;
};

// Command groups register themselves from a static object in their own file:
//   static const bool registered = cli::RegisterCommand({...});
bool RegisterCommand(Command command);
const std::vector<Command>& Commands();

// Shared argument helpers. They print a message on stderr and return false on bad input.
bool ParseInt(const std::string& text, int& value);
// Removes "--name VALUE" from args; true when absent or parsed.
bool TakeIntOption(Arguments& args, const std::string& name, int& value);
// Removes "--name"; reports whether it was there.
bool TakeFlag(Arguments& args, const std::string& name);
// Removes "--name VALUE"; true when absent or present with a value.
bool TakeStringOption(Arguments& args, const std::string& name, std::string& value);

}  // namespace cli
