#include "sim/simulator.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "sim/console.h"
#include "sim/state_file.h"

namespace dkq::sim {

void printLine(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

Reply TracingLines::takeLine(std::string_view line, TimePoint now) {
    if (trace_) printLine("rx " + std::string(line));
    return lines_.takeLine(line, now);
}

int Simulator::run(const volatile std::sig_atomic_t& stopRequested, const sigset_t& waitMask) {
    while (!stopRequested) {
        PollSet poll;
        const size_t consoleIndex = consoleOpen_ ? poll.add(STDIN_FILENO, POLLIN) : SIZE_MAX;
        for (auto& frontEnd : frontEnds_) frontEnd->preparePoll(poll);
        poll.wait(nextWakeUp(), waitMask);

        const TimePoint now = Clock::now();
        for (auto& frontEnd : frontEnds_)
            if (!frontEnd->afterPoll(poll, now)) return EXIT_FAILURE;
        saveConfigIfChanged();
        if (consoleOpen_ &&
            (poll.returned(consoleIndex) & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) {
            if (readConsole() == Turn::Quit) return EXIT_SUCCESS;
        }
    }
    return EXIT_SUCCESS;
}

// End of input only stops the console: the bus runs on as a service.
Simulator::Turn Simulator::readConsole() {
    char buffer[512];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        consoleOpen_ = n < 0 && errno == EINTR;
        return Turn::Continue;
    }
    for (ssize_t i = 0; i < n; ++i) {
        if (const auto line = console_.take(buffer[i])) {
            if (runConsoleLine(*line) == Turn::Quit) return Turn::Quit;
        }
    }
    return Turn::Continue;
}

Simulator::Turn Simulator::runConsoleLine(std::string_view line) {
    const auto outcome = runConsoleCommand(line, bus_);
    saveConfigIfChanged();
    if (outcome.drop)
        for (auto& frontEnd : frontEnds_) frontEnd->drop();
    printLine(outcome.acknowledgement);
    return outcome.quit ? Turn::Quit : Turn::Continue;
}

void Simulator::saveConfigIfChanged() {
    if (!bus_.takeConfigChanged() || stateFile_.empty()) return;
    std::string error;
    if (!writeConfigStateFile(stateFile_, configStateOf(bus_), error))
        std::fprintf(stderr, "dkqsim: %s\n", error.c_str());
}

std::optional<TimePoint> Simulator::nextWakeUp() const {
    std::optional<TimePoint> earliest;
    for (const auto& frontEnd : frontEnds_) {
        const auto wake = frontEnd->wakeUp();
        if (wake && (!earliest || *wake < *earliest)) earliest = wake;
    }
    return earliest;
}

}  // namespace dkq::sim
