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

// Exit statuses beyond the transaction codes 0..9 (and 128 + the signal's
// number for a logger-download ended by SIGINT or SIGTERM: 130, 143).
inline constexpr int ModbusException = 10;  // the module answered with an exception
inline constexpr int NoRecords = 11;        // logger-download: the record memory is empty
inline constexpr int UsageError = 64;       // a command line that cannot be understood
inline constexpr int OutputFailed = 74;     // standard output cannot be written

struct CommandContext {
    ModuleLink& link;
    std::ostream& out;
    std::ostream& err;
    int comPort = 0;
    int baud = 0;
    OutputOptions output{};
    bool progress = false;         // show progress on standard error
    bool modbusTcpAnswer = false;  // the last exchange's answer came in Modbus/TCP's framing
};

// A command whose arguments have been understood; returns the exit status.
using PreparedCommand = std::function<int(CommandContext& context)>;

struct ToolCommand {
    const char* name;
    const char* arguments;  // usage text of the arguments
    const char* summary;    // what it does, with the module function it sends
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

// For a command renamed for what it touches (read-signed, write-registers):
// the problem that names its new name; nothing for any other word.
std::optional<std::string> renamedCommand(const std::string& name);

// A command that works on files alone and opens no line (config-show): its
// exit status, or nothing when words name no such command.
std::optional<int> runFileCommand(const std::vector<std::string>& words, std::ostream& out,
                                  std::ostream& err);

// "dkq ports": the serial devices of this machine, a line each (device,
// by-id name, USB id, driver, COM port number), or CSV and JSON records;
// opens no line.
const ToolCommand& portsCommand();
int runPortsCommand(const std::vector<std::string>& args, OutputFormat format, std::ostream& out,
                    std::ostream& err);

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

// ADDR, 0..255; 0 reaches every module and none answers, so only a write
// takes it ("ADDR 0 (every module) is for writes only").
std::optional<int> addressArgument(const std::string& word, bool write);

// START of `count` registers; refuses a start whose registers would pass
// register 65535.
std::optional<int> registerRange(const std::string& startWord, int count);

// A failed exchange as dkq reports it: its exit status and its words, "code
// 1 (no answer within the time-out)" or, for a Modbus exception answer,
// "exception 2: illegal data address" (status ModbusException). An answer
// framed as Modbus/TCP adds ": this looks like Modbus/TCP, not ASCII".
struct Failure {
    int status;
    std::string text;
};
Failure failureOf(const CommandContext& context, int code);

// Prints "dkq: <what> failed: <failure>" and returns its exit status.
int reportFailure(CommandContext& context, const char* what, int code);

// Why the line did not open: "cannot open /dev/ttyUSB3: No such file or
// directory", "cannot open COM2 (/dev/ttyS1): port busy", "cannot connect
// to localhost:502: Connection refused".
std::string openFailureText(const CommandContext& context, int code);
// Prints it after "dkq: " and returns the exit status 9.
int reportOpenFailure(CommandContext& context, int code);

// Prints "dkq: cannot <verb> <path>: <the system's words for error>" ("not
// a regular file" for 0) and returns status.
int reportFileError(std::ostream& err, const char* verb, const std::string& path, int error,
                    int status);

// SIGINT and SIGTERM, caught while an object lives: a command that runs on
// asks stopSignal() between its exchanges and ends cleanly.
class StopSignals {
  public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    void (*previousInterrupt_)(int);
    void (*previousTerminate_)(int);
};
// The number of the signal caught, 0 while none was.
int stopSignal();

}  // namespace dkq::tool
