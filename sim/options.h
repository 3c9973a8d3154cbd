// The command line of dkqsim.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/bus.h"
#include "sim/session.h"

namespace dkq::sim {

inline constexpr int UsageExitCode = 64;

struct TcpEndpoint {
    std::string host = "127.0.0.1";
    int port = 0;  // 0 = any free port
};

struct Options {
    std::optional<TcpEndpoint> tcp;
    std::string ptyLink;  // empty = no pseudo-terminal
    BusSettings bus;
    std::optional<unsigned> seed;  // none: a fresh random seed
    SessionSettings session;
    std::string stateFile;  // empty = configuration memory is not kept
    bool trace = false;
};

struct ParsedOptions {
    enum class Outcome { Run, Help, Error };
    Outcome outcome = Outcome::Run;
    Options options;
    std::string error;  // for Outcome::Error
};

// args without the program name.
ParsedOptions parseOptions(const std::vector<std::string_view>& args);

// "1,2,3" or "1-3,7": sorted, without repeats; nothing when malformed.
std::optional<std::vector<int>> parseModuleList(std::string_view text);

std::string usageText();

}  // namespace dkq::sim
