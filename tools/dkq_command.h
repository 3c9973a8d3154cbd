// The commands of the dkq tool. Each command group lives in its own file and
// hands its table to dkq_main.cpp.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "link/module_link.h"
#include "tools/output_format.h"

namespace dkq::tool {

// Exit status for a command line that cannot be understood (sysexits EX_USAGE).
inline constexpr int UsageError = 64;

struct CommandContext {
    ModuleLink& link;
    std::ostream& out;
    std::ostream& err;
    int comPort = 0;
    int baud = 0;
    OutputOptions output{};
};

// A command whose arguments have been understood; returns the exit status.
using PreparedCommand = std::function<int(CommandContext& context)>;

struct ToolCommand {
    const char* name;
    const char* arguments;  // usage text of the arguments
    bool recordMemory;      // the command opens and ends the line itself, as the
                            // record memory reader does; otherwise dkq opens it
    // Reads the words after the command name; nothing for a usage error, so
    // that no line is opened for a command that cannot run.
    std::optional<PreparedCommand> (*prepare)(const std::vector<std::string>& args);
};

std::span<const ToolCommand> registerCommands();
std::span<const ToolCommand> recordMemoryCommands();
std::span<const ToolCommand> fieldCommands();  // scan, poll
std::span<const ToolCommand> configCommands();

// A command that works on files alone and opens no line (config-show): its
// exit status, or nothing when words name no such command.
std::optional<int> runFileCommand(const std::vector<std::string>& words, std::ostream& out,
                                  std::ostream& err);

// "dkq ports": the serial devices of this machine, a line each (device,
// by-id name, USB id, driver, COM port number); opens no line.
inline constexpr const char* PortsCommand = "ports";
int runPortsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Whole-word number parsing: decimal, or hexadecimal with 0x. Nothing for
// anything else or a value outside min..max.
std::optional<int> parseNumber(const std::string& word, int min, int max);

// Refuses a command line: keeps the first problem named (for example "COUNT
// must be 1..125"), which dkq prints before the usage text; converts to an
// empty prepared command.
std::nullopt_t refuse(const std::string& problem);
// The problem kept by refuse; empty when none was named.
const std::string& refusal();

// parseNumber for the argument called `name`; refuses "<name> must be min..max".
std::optional<int> numberArgument(const std::string& word, const char* name, int min, int max);

// Whether there are min..max arguments; refuses "expected ... arguments, got N".
bool argumentCount(const std::vector<std::string>& args, size_t min, size_t max);

// Prints "dkq: <what> failed: code N (meaning)" and returns the code.
int reportFailure(CommandContext& context, const char* what, int code);

}  // namespace dkq::tool
