// The event loop of dkqsim: one thread, one ppoll() over the console, the
// front ends and the next due character; no busy waiting.
#pragma once

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "sim/bus.h"
#include "sim/front_end.h"
#include "sim/line_handler.h"
#include "sim/line_splitter.h"
#include "sim/poll_set.h"

namespace dkq::sim {

// Writes one line to standard output and flushes it: tests and scripts
// read the output as it comes.
void printLine(std::string_view line);

// Prints "rx <line>" for every received line when tracing, then hands the
// line to the bus.
class TracingLines : public LineHandler {
  public:
    TracingLines(LineHandler& lines, bool trace) : lines_(lines), trace_(trace) {}
    Reply takeLine(std::string_view line, TimePoint now) override;

  private:
    LineHandler& lines_;
    bool trace_;
};

class Simulator {
  public:
    Simulator(Bus& bus, std::vector<std::unique_ptr<FrontEnd>> frontEnds, std::string stateFile)
        : bus_(bus), frontEnds_(std::move(frontEnds)), stateFile_(std::move(stateFile)) {}

    // Runs until "quit" or until stopRequested is set by a signal that is
    // blocked except while waiting (`waitMask`). Returns the exit code.
    int run(const volatile std::sig_atomic_t& stopRequested, const sigset_t& waitMask);

  private:
    enum class Turn { Continue, Quit, Fail };
    Turn readConsole();
    Turn runConsoleLine(std::string_view line);
    void saveConfigIfChanged();
    std::optional<TimePoint> nextWakeUp() const;

    Bus& bus_;
    std::vector<std::unique_ptr<FrontEnd>> frontEnds_;
    std::string stateFile_;
    LineSplitter console_;
    bool consoleOpen_ = true;
};

}  // namespace dkq::sim
