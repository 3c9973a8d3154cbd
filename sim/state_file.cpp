#include "sim/state_file.h"

#include <filesystem>
#include <sstream>

#include "common/plain_file.h"
#include "sim/numbers.h"

namespace dkq::sim {
namespace {

constexpr std::string_view ConfigKeyword = "config";

std::optional<std::pair<int, ConfigMemory>> parseConfigLine(std::istringstream& words) {
    std::string word;
    if (!(words >> word)) return std::nullopt;
    const auto address = parseNumberIn(word, FirstModuleAddress, LastModuleAddress);
    if (!address) return std::nullopt;
    ConfigMemory memory{};
    for (auto& value : memory) {
        if (!(words >> word)) return std::nullopt;
        const auto number = parseNumberIn(word, 0, 0xFFFF);
        if (!number) return std::nullopt;
        value = static_cast<std::uint16_t>(*number);
    }
    if (words >> word) return std::nullopt;
    return std::pair{*address, memory};
}

}  // namespace

std::string formatConfigState(const ConfigState& state) {
    std::string text = "# dkqsim configuration memory: config ADDRESS then 240 register values\n";
    for (const auto& [address, memory] : state) {
        text += std::string(ConfigKeyword) + ' ' + std::to_string(address);
        for (auto value : memory) text += ' ' + std::to_string(value);
        text += '\n';
    }
    return text;
}

std::optional<ConfigState> parseConfigState(std::string_view text) {
    ConfigState state;
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        if (const auto comment = line.find('#'); comment != std::string::npos) line.erase(comment);
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword)) continue;
        if (keyword != ConfigKeyword) return std::nullopt;
        const auto entry = parseConfigLine(words);
        if (!entry) return std::nullopt;
        state[entry->first] = entry->second;
    }
    return state;
}

ConfigState configStateOf(const Bus& bus) {
    ConfigState state;
    for (const auto& [address, module] : bus.modules()) state[address] = module.configMemory();
    return state;
}

void loadConfigState(Bus& bus, const ConfigState& state) {
    for (const auto& [address, memory] : state)
        if (Module* module = bus.module(address)) module->loadConfig(memory);
}

StateRead readConfigStateFile(const std::string& path, ConfigState& state, std::string& error) {
    std::error_code ignored;
    if (!std::filesystem::exists(pathFromUtf8(path), ignored)) {
        state.clear();
        return StateRead::Ok;
    }
    std::string text;
    switch (readWholeFile(path, text, MaxTextFileBytes)) {
        case FileRead::Ok:
            break;
        case FileRead::NotRegular:
            error = path + ": not a regular file";
            return StateRead::Refused;
        case FileRead::TooLong:
            error = path + ": longer than a state file can be";
            return StateRead::Refused;
        default:
            error = path + ": cannot read";
            return StateRead::Refused;
    }
    const auto parsed = parseConfigState(text);
    if (!parsed) {
        error = path + ": not a dkqsim state file";
        return StateRead::Malformed;
    }
    state = *parsed;
    return StateRead::Ok;
}

bool writeConfigStateFile(const std::string& path, const ConfigState& state, std::string& error) {
    if (writeWholeFile(path, formatConfigState(state))) return true;
    error = path + ": cannot write";
    return false;
}

}  // namespace dkq::sim
