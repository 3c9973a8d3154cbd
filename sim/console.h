// Commands typed on the simulator's standard input, one a line, each
// answered by exactly one line: "ok" or "error <reason>".
#pragma once

#include <string>
#include <string_view>

#include "sim/bus.h"

namespace dkq::sim {

struct ConsoleOutcome {
    std::string acknowledgement;  // "ok" or "error <reason>"
    bool drop = false;            // close the current TCP connection
    bool quit = false;            // exit after acknowledging
};

// Runs one console line against the bus. A malformed line changes nothing.
ConsoleOutcome runConsoleCommand(std::string_view line, Bus& bus);

}  // namespace dkq::sim
