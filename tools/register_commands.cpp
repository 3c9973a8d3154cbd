// Register and diagnostics commands: one module operation each.
#include <cstdio>
#include <vector>

#include "common/cp1250.h"
#include "tools/dkq_command.h"

namespace dkq::tool {
namespace {

struct Address {
    int addr;
    int first;
};

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (auto b : bytes) {
        char cell[4];
        std::snprintf(cell, sizeof cell, "%02X", b);
        if (!text.empty()) text.push_back(' ');
        text += cell;
    }
    return text;
}

std::string firmwareLine(const Diagn1Block& d) {
    char line[64];
    std::snprintf(line, sizeof line, "v%02X  SN=%02X%02X%02X%02X%02X%02X SUM=%02X", d[0], d[1],
                  d[2], d[3], d[4], d[5], d[6], d[9]);
    return line;
}

// ADDR START COUNT, shared by the three reads.
int runRead(CommandContext& c, int (ModuleLink::*read)(int, int, int, std::span<std::int32_t>)) {
    if (c.args.size() != 3) return UsageError;
    const auto addr = parseNumber(c.args[0], 0, 255);
    const auto start = parseNumber(c.args[1], 0, 65535);
    const auto count = parseNumber(c.args[2], 1, MaxRegistersPerRead);
    if (!addr || !start || !count) return UsageError;
    std::vector<std::int32_t> values(static_cast<size_t>(*count));
    if (const int code = (c.link.*read)(*addr, *start, *count, values); code != tx::Ok)
        return reportFailure(c, "read", code);
    for (size_t i = 0; i < values.size(); ++i) c.out << (i ? " " : "") << values[i];
    c.out << '\n';
    return tx::Ok;
}

int readInput(CommandContext& c) {
    return runRead(c, &ModuleLink::ReadInputRegisters);
}
int readHolding(CommandContext& c) {
    return runRead(c, &ModuleLink::ReadHoldingRegisters);
}
int readSigned(CommandContext& c) {
    return runRead(c, &ModuleLink::ReadSignedRegisters);
}

int writeRegister(CommandContext& c) {
    if (c.args.size() != 3) return UsageError;
    const auto addr = parseNumber(c.args[0], 0, 255);
    const auto reg = parseNumber(c.args[1], 0, 65535);
    const auto value = parseNumber(c.args[2], -32768, 65535);
    if (!addr || !reg || !value) return UsageError;
    const int code = c.link.WriteRegister(*addr, *reg, *value);
    return code == tx::Ok ? code : reportFailure(c, "write-register", code);
}

int writeCoil(CommandContext& c) {
    if (c.args.size() != 3 || (c.args[2] != "on" && c.args[2] != "off")) return UsageError;
    const auto addr = parseNumber(c.args[0], 0, 255);
    const auto coil = parseNumber(c.args[1], 0, 65535);
    if (!addr || !coil) return UsageError;
    const int code = c.link.WriteCoil(*addr, *coil, c.args[2] == "on");
    return code == tx::Ok ? code : reportFailure(c, "write-coil", code);
}

int writeRegisters(CommandContext& c) {
    if (c.args.size() < 3 || c.args.size() > 2 + MaxRegistersPerWrite) return UsageError;
    const auto addr = parseNumber(c.args[0], 0, 255);
    const auto start = parseNumber(c.args[1], 0, 65535);
    if (!addr || !start) return UsageError;
    std::vector<std::int32_t> values;
    for (size_t i = 2; i < c.args.size(); ++i) {
        const auto value = parseNumber(c.args[i], -32768, 65535);
        if (!value) return UsageError;
        values.push_back(*value);
    }
    const int code = c.link.WriteRegisters(*addr, *start, static_cast<int>(values.size()), values);
    return code == tx::Ok ? code : reportFailure(c, "write-registers", code);
}

int writeText(CommandContext& c) {
    if (c.args.size() != 3) return UsageError;
    const auto addr = parseNumber(c.args[0], 0, 255);
    const auto start = parseNumber(c.args[1], 0, 65535);
    const std::string text = utf8ToCp1250(c.args[2]);
    if (!addr || !start || text.size() > static_cast<size_t>(MaxTextPerWrite)) return UsageError;
    const int code = c.link.WriteText(*addr, *start, static_cast<int>(text.size()), text);
    return code == tx::Ok ? code : reportFailure(c, "write-text", code);
}

int clearCounters(CommandContext& c) {
    if (c.args.size() != 2) return UsageError;
    const auto addr = parseNumber(c.args[0], 0, 255);
    const auto mask = parseNumber(c.args[1], 0, 255);
    if (!addr || !mask) return UsageError;
    const int code = c.link.ClearCounters(*addr, *mask);
    return code == tx::Ok ? code : reportFailure(c, "clear-counters", code);
}

// ADDR [SUB]
std::optional<Address> diagnosticsAddress(const CommandContext& c) {
    if (c.args.empty() || c.args.size() > 2) return std::nullopt;
    const auto addr = parseNumber(c.args[0], 0, 255);
    const auto sub = c.args.size() == 2 ? parseNumber(c.args[1], 0, 65535) : std::optional<int>(0);
    if (!addr || !sub) return std::nullopt;
    return Address{*addr, *sub};
}

int diag1(CommandContext& c) {
    const auto where = diagnosticsAddress(c);
    if (!where) return UsageError;
    Diagn1Block block{};
    if (const int code = c.link.ReadDiagn1(where->addr, where->first, block); code != tx::Ok)
        return reportFailure(c, "diag1", code);
    c.out << hexBytes(block) << '\n' << firmwareLine(block) << '\n';
    return tx::Ok;
}

int diag2(CommandContext& c) {
    const auto where = diagnosticsAddress(c);
    if (!where) return UsageError;
    Diagn2Block block{};
    if (const int code = c.link.ReadDiagn2(where->addr, where->first, block); code != tx::Ok)
        return reportFailure(c, "diag2", code);
    c.out << hexBytes(block) << '\n';
    return tx::Ok;
}

constexpr ToolCommand kCommands[] = {
    {"read-input", "ADDR START COUNT", false, readInput},
    {"read-holding", "ADDR START COUNT", false, readHolding},
    {"read-signed", "ADDR START COUNT", false, readSigned},
    {"write-register", "ADDR REG VALUE", false, writeRegister},
    {"write-coil", "ADDR COIL on|off", false, writeCoil},
    {"write-registers", "ADDR START VALUE...", false, writeRegisters},
    {"write-text", "ADDR START TEXT", false, writeText},
    {"clear-counters", "ADDR MASK", false, clearCounters},
    {"diag1", "ADDR [SUB]", false, diag1},
    {"diag2", "ADDR [SUB]", false, diag2},
};

}  // namespace

std::span<const ToolCommand> registerCommands() {
    return kCommands;
}

}  // namespace dkq::tool
