// The three read commands (read-input, read-holding, read-config) as one
// request, shared by the commands themselves and by poll.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/dkq_command.h"
#include "tools/output_format.h"

namespace dkq::tool {

using ReadOperation = int (ModuleLink::*)(int, int, int, std::span<std::int32_t>);

struct RegisterRead {
    ReadOperation operation;
    int address;
    int start;
    int count;
};

// The read command `name` with its ADDR START COUNT; nothing when `name` is
// no read command or an argument is wrong (the problem is named by refuse).
std::optional<RegisterRead> parseRegisterRead(const std::string& name,
                                              const std::vector<std::string>& args);

// Usage text of the read commands' names, "read-input|read-holding|read-config".
const char* readCommandNames();

// Runs the read once, prints it through `printer` as taken at `time` (a
// failure also as "dkq: read failed: ..." on standard error, with the time
// before "read" when asked) and returns its exit status.
int readAndPrint(CommandContext& context, const RegisterRead& read, ReadingPrinter& printer,
                 WallClock::time_point time, bool timeInMessage);

// Prints a reading that failed (a row in CSV and JSON) and "dkq: [<time> ]
// <what><failure>" on standard error; returns the failure's status.
int printFailure(CommandContext& context, Reading reading, ReadingPrinter& printer,
                 const char* what, const Failure& failure, bool timeInMessage);

}  // namespace dkq::tool
