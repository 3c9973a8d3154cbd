#include "sim/console.h"

#include <functional>
#include <map>
#include <sstream>
#include <vector>

#include "sim/numbers.h"

namespace dkq::sim {
namespace {

constexpr std::string_view Ok = "ok";
constexpr long LowestValue = -32768;  // negative values are taken as their 16-bit pattern
constexpr long HighestValue = 0xFFFF;

using Arguments = std::vector<std::string>;
// Returns an error reason, empty on success.
using Handler = std::function<std::string(const Arguments&, Bus&, ConsoleOutcome&)>;

struct Command {
    size_t argumentCount;
    Handler run;
};

Module* moduleNamed(const std::string& text, Bus& bus) {
    const auto address = parseNumberIn(text, FirstModuleAddress, LastModuleAddress);
    return address ? bus.module(*address) : nullptr;
}

// set-input / set-holding / set-config A R V
Handler registerSetter(int registerCount, void (Module::*set)(int, std::uint16_t)) {
    return [registerCount, set](const Arguments& args, Bus& bus, ConsoleOutcome&) -> std::string {
        Module* module = moduleNamed(args[0], bus);
        if (module == nullptr) return "no module " + args[0] + " on the bus";
        const auto reg = parseNumberIn(args[1], 0, registerCount - 1);
        if (!reg) return "register must be 0.." + std::to_string(registerCount - 1);
        const auto value = parseNumberIn(args[2], LowestValue, HighestValue);
        if (!value) return "value must be -32768..65535";
        (module->*set)(*reg, static_cast<std::uint16_t>(*value));
        return {};
    };
}

Handler muteSetter(bool muted) {
    return [muted](const Arguments& args, Bus& bus, ConsoleOutcome&) -> std::string {
        const auto address = parseNumberIn(args[0], FirstModuleAddress, LastModuleAddress);
        if (!address || !bus.setMuted(*address, muted))
            return "no module " + args[0] + " on the bus";
        return {};
    };
}

const std::map<std::string, Command, std::less<>>& commands() {
    static const std::map<std::string, Command, std::less<>> table{
        {"set-input", {3, registerSetter(InputRegisterCount, &Module::setInput)}},
        {"set-holding", {3, registerSetter(HoldingRegisterCount, &Module::setHolding)}},
        {"set-config", {3, registerSetter(ConfigRegisterCount, &Module::setConfig)}},
        {"mute", {1, muteSetter(true)}},
        {"unmute", {1, muteSetter(false)}},
        {"fault",
         {1,
          [](const Arguments& args, Bus& bus, ConsoleOutcome&) -> std::string {
              const auto fault = parseFaultRule(args[0]);
              if (!fault) return "bad fault " + args[0];
              if (fault->address != 0 && bus.module(fault->address) == nullptr)
                  return "no module " + std::to_string(fault->address) + " on the bus";
              bus.faults().add(*fault);
              return {};
          }}},
        {"clear-faults",
         {0,
          [](const Arguments&, Bus& bus, ConsoleOutcome&) -> std::string {
              bus.faults().clear();
              return {};
          }}},
        {"drop",
         {0,
          [](const Arguments&, Bus&, ConsoleOutcome& outcome) -> std::string {
              outcome.drop = true;
              return {};
          }}},
        {"quit",
         {0,
          [](const Arguments&, Bus&, ConsoleOutcome& outcome) -> std::string {
              outcome.quit = true;
              return {};
          }}},
    };
    return table;
}

}  // namespace

ConsoleOutcome runConsoleCommand(std::string_view line, Bus& bus) {
    std::istringstream words{std::string(line)};
    std::string name;
    words >> name;
    Arguments args;
    for (std::string word; words >> word;) args.push_back(word);

    ConsoleOutcome outcome;
    const auto command = commands().find(name);
    if (command == commands().end()) {
        outcome.acknowledgement = "error unknown command " + name;
        return outcome;
    }
    if (args.size() != command->second.argumentCount) {
        outcome.acknowledgement = "error " + name + " takes " +
                                  std::to_string(command->second.argumentCount) + " arguments";
        return outcome;
    }
    const std::string error = command->second.run(args, bus, outcome);
    outcome.acknowledgement = error.empty() ? std::string(Ok) : "error " + error;
    return outcome;
}

}  // namespace dkq::sim
