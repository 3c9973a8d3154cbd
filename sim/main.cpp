// dkqsim: a simulated RS-485 bus of DKQ-1 modules behind a TCP server and/or
// a pseudo-terminal.
#include <csignal>
#include <cstdio>
#include <random>

#include "common/version.h"
#include "sim/options.h"
#include "sim/pty_front_end.h"
#include "sim/record_memory.h"
#include "sim/simulator.h"
#include "sim/state_file.h"
#include "sim/tcp_front_end.h"
#include "sim/text_command_peer.h"

namespace {

using namespace dkq::sim;

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

// SIGTERM and SIGINT stay blocked except inside ppoll, so a stop is seen
// at once and never lost between the check and the wait. Returns the mask
// to wait with.
sigset_t catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a vanished client or reader is seen as a write error

    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stops, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    return waitMask;
}

// Exit status of a state file that cannot be read (sysexits EX_NOINPUT).
constexpr int NoInputExitCode = 66;

int fail(const std::string& error, int status = EXIT_FAILURE) {
    std::fprintf(stderr, "dkqsim: %s\n", error.c_str());
    return status;
}

// The exit status when the state file cannot be loaded; 0 when it is loaded
// or none is kept.
int loadState(Bus& bus, const std::string& path) {
    if (path.empty()) return 0;
    ConfigState state;
    std::string error;
    switch (readConfigStateFile(path, state, error)) {
        case StateRead::Ok:
            loadConfigState(bus, state);
            return 0;
        case StateRead::Refused:
            return fail(error, NoInputExitCode);
        default:
            return fail(error);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (dkq::printVersionIfAsked("dkqsim", argc, argv)) return EXIT_SUCCESS;
    const std::vector<std::string_view> allArgs(argv + 1, argv + argc);
    RecordMemorySettings recordSettings;
    std::string recordError;
    const auto args = takeRecordMemoryOptions(allArgs, recordSettings, recordError);
    auto parsed = parseOptions(args);
    const std::string usage = usageText() + recordMemoryUsage();
    if (parsed.outcome == ParsedOptions::Outcome::Help) {
        std::fputs(usage.c_str(), stdout);
        return EXIT_SUCCESS;
    }
    if (!recordError.empty() || parsed.outcome == ParsedOptions::Outcome::Error) {
        const std::string& error = recordError.empty() ? parsed.error : recordError;
        std::fprintf(stderr, "dkqsim: %s\n\n%s", error.c_str(), usage.c_str());
        return UsageExitCode;
    }
    Options& options = parsed.options;
    options.bus.seed = options.seed ? *options.seed : std::random_device{}();

    const sigset_t waitMask = catchStopSignals();
    RecordMemory recordMemory(recordSettings, Clock::now());
    Bus bus(options.bus, recordMemory, Clock::now());
    if (const int status = loadState(bus, options.stateFile); status != 0) return status;
    std::string error;

    TracingLines lines(bus, options.trace);
    std::vector<std::unique_ptr<FrontEnd>> frontEnds;
    if (options.tcp) {
        auto tcp = TcpFrontEnd::listen(*options.tcp, lines, options.session, error);
        if (!tcp) return fail(error);
        frontEnds.push_back(std::move(tcp));
    }
    if (!options.ptyLink.empty()) {
        auto pty = PtyFrontEnd::open(options.ptyLink, lines, options.session, error);
        if (!pty) return fail(error);
        frontEnds.push_back(std::move(pty));
    }
    std::string where;
    for (const auto& frontEnd : frontEnds) {
        if (!where.empty()) where += ' ';
        where += frontEnd->where();
    }
    printLine(where);

    Simulator simulator(bus, std::move(frontEnds), options.stateFile);
    return simulator.run(stopRequested, waitMask);
}
