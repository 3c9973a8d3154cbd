// The simulated RS-485 bus: the modules by address, the record memory behind
// its seam, and the faults that damage answers. Takes complete lines, gives
// back what goes out on the line. The record memory is the first module's
// (the lowest address): its mute and faults reach the text commands too.
#pragma once

#include <map>
#include <set>
#include <string_view>
#include <vector>

#include "sim/faults.h"
#include "sim/line_handler.h"
#include "sim/module.h"
#include "sim/sim_time.h"
#include "sim/text_command_peer.h"

namespace dkq::sim {

struct BusSettings {
    std::vector<int> addresses{1};
    bool deterministic = false;
    unsigned seed = 0;
    std::vector<int> muted;
    std::vector<FaultRule> faults;
    std::vector<int> exceptionFunctions;  // answered with exception code 1
};

class Bus : public LineHandler {
  public:
    Bus(const BusSettings& settings, TextCommandPeer& recordMemory, TimePoint start);

    // One received line without its line end: a text command ("*..."), a
    // Modbus-ASCII frame (from the line's last ':') or noise.
    Reply takeLine(std::string_view line, TimePoint now) override;

    // nullptr when no module has that address.
    Module* module(int address);
    const std::map<int, Module>& modules() const { return modules_; }

    // False when no module has that address.
    bool setMuted(int address, bool muted);
    FaultInjector& faults() { return faults_; }

    // True once after any module's configuration was written.
    bool takeConfigChanged();

  private:
    Reply takeFrame(std::span<const std::uint8_t> request, TimePoint now);
    Reply takeTextCommand(std::string_view line);
    void broadcast(std::span<const std::uint8_t> request, TimePoint now);

    std::map<int, Module> modules_;
    std::set<int> muted_;
    std::set<int> exceptionFunctions_;
    FaultInjector faults_;
    TextCommandPeer& recordMemory_;
};

}  // namespace dkq::sim
