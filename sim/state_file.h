// The configuration memory of every module kept in a text file between runs:
// lines "config A V0 ... V239", '#' starts a comment.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "sim/bus.h"
#include "sim/module.h"

namespace dkq::sim {

using ConfigState = std::map<int, ConfigMemory>;  // by module address

std::string formatConfigState(const ConfigState& state);
// Nothing when the text is malformed.
std::optional<ConfigState> parseConfigState(std::string_view text);

ConfigState configStateOf(const Bus& bus);
// Modules of the state that are not on the bus are left out.
void loadConfigState(Bus& bus, const ConfigState& state);

enum class StateRead {
    Ok,
    Refused,    // not readable, not a regular file, or too long: not read at all
    Malformed,  // read, but not a state file
};

// Whole-file operations, with a reason in `error` on failure. A missing file
// reads as an empty state; the file is read only when it is a regular file
// within the bound of a text file, so a device or a FIFO is refused at once.
// Saving writes a new temporary file in the same folder and renames it over
// the old one (a link at the name is replaced, never followed), so a crash
// never leaves half a file.
StateRead readConfigStateFile(const std::string& path, ConfigState& state, std::string& error);
bool writeConfigStateFile(const std::string& path, const ConfigState& state, std::string& error);

}  // namespace dkq::sim
