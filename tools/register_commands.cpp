// Register and diagnostics commands: one module operation each.
#include <cstdio>
#include <vector>

#include "common/cp1250.h"
#include "tools/dkq_command.h"

namespace dkq::tool {
namespace {

using Args = std::vector<std::string>;
using Prepared = std::optional<PreparedCommand>;
using ReadOperation = int (ModuleLink::*)(int, int, int, std::span<std::int32_t>);

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

// A write's outcome: silent on success, the code and its meaning otherwise.
int finishWrite(CommandContext& c, const char* what, int code) {
    return code == tx::Ok ? code : reportFailure(c, what, code);
}

// ADDR START COUNT, shared by the three reads.
Prepared prepareRead(const Args& a, ReadOperation read) {
    if (a.size() != 3) return std::nullopt;
    const auto addr = parseNumber(a[0], 0, 255);
    const auto start = parseNumber(a[1], 0, 65535);
    const auto count = parseNumber(a[2], 1, MaxRegistersPerRead);
    if (!addr || !start || !count) return std::nullopt;
    return [=](CommandContext& c) {
        std::vector<std::int32_t> values(static_cast<size_t>(*count));
        if (const int code = (c.link.*read)(*addr, *start, *count, values); code != tx::Ok)
            return reportFailure(c, "read", code);
        for (size_t i = 0; i < values.size(); ++i) c.out << (i ? " " : "") << values[i];
        c.out << '\n';
        return tx::Ok;
    };
}

Prepared readInput(const Args& a) {
    return prepareRead(a, &ModuleLink::ReadInputRegisters);
}
Prepared readHolding(const Args& a) {
    return prepareRead(a, &ModuleLink::ReadHoldingRegisters);
}
Prepared readSigned(const Args& a) {
    return prepareRead(a, &ModuleLink::ReadSignedRegisters);
}

Prepared writeRegister(const Args& a) {
    if (a.size() != 3) return std::nullopt;
    const auto addr = parseNumber(a[0], 0, 255);
    const auto reg = parseNumber(a[1], 0, 65535);
    const auto value = parseNumber(a[2], -32768, 65535);
    if (!addr || !reg || !value) return std::nullopt;
    return [=](CommandContext& c) {
        return finishWrite(c, "write-register", c.link.WriteRegister(*addr, *reg, *value));
    };
}

Prepared writeCoil(const Args& a) {
    if (a.size() != 3 || (a[2] != "on" && a[2] != "off")) return std::nullopt;
    const auto addr = parseNumber(a[0], 0, 255);
    const auto coil = parseNumber(a[1], 0, 65535);
    const bool on = a[2] == "on";
    if (!addr || !coil) return std::nullopt;
    return [=](CommandContext& c) {
        return finishWrite(c, "write-coil", c.link.WriteCoil(*addr, *coil, on));
    };
}

Prepared writeRegisters(const Args& a) {
    if (a.size() < 3 || a.size() > 2 + MaxRegistersPerWrite) return std::nullopt;
    const auto addr = parseNumber(a[0], 0, 255);
    const auto start = parseNumber(a[1], 0, 65535);
    if (!addr || !start) return std::nullopt;
    std::vector<std::int32_t> values;
    for (size_t i = 2; i < a.size(); ++i) {
        const auto value = parseNumber(a[i], -32768, 65535);
        if (!value) return std::nullopt;
        values.push_back(*value);
    }
    return [=](CommandContext& c) {
        const int count = static_cast<int>(values.size());
        return finishWrite(c, "write-registers",
                           c.link.WriteRegisters(*addr, *start, count, values));
    };
}

Prepared writeText(const Args& a) {
    if (a.size() != 3) return std::nullopt;
    const auto addr = parseNumber(a[0], 0, 255);
    const auto start = parseNumber(a[1], 0, 65535);
    const std::string text = utf8ToCp1250(a[2]);
    if (!addr || !start || text.size() > static_cast<size_t>(MaxTextPerWrite)) return std::nullopt;
    return [=](CommandContext& c) {
        const int length = static_cast<int>(text.size());
        return finishWrite(c, "write-text", c.link.WriteText(*addr, *start, length, text));
    };
}

Prepared clearCounters(const Args& a) {
    if (a.size() != 2) return std::nullopt;
    const auto addr = parseNumber(a[0], 0, 255);
    const auto mask = parseNumber(a[1], 0, 255);
    if (!addr || !mask) return std::nullopt;
    return [=](CommandContext& c) {
        return finishWrite(c, "clear-counters", c.link.ClearCounters(*addr, *mask));
    };
}

// ADDR [SUB] of the two diagnostics commands.
bool parseDiagnostics(const Args& a, int& addr, int& sub) {
    if (a.empty() || a.size() > 2) return false;
    const auto address = parseNumber(a[0], 0, 255);
    const auto function = a.size() == 2 ? parseNumber(a[1], 0, 65535) : std::optional<int>(0);
    if (!address || !function) return false;
    addr = *address;
    sub = *function;
    return true;
}

Prepared diag1(const Args& a) {
    int addr = 0;
    int sub = 0;
    if (!parseDiagnostics(a, addr, sub)) return std::nullopt;
    return [=](CommandContext& c) {
        Diagn1Block block{};
        if (const int code = c.link.ReadDiagn1(addr, sub, block); code != tx::Ok)
            return reportFailure(c, "diag1", code);
        c.out << hexBytes(block) << '\n' << firmwareLine(block) << '\n';
        return tx::Ok;
    };
}

Prepared diag2(const Args& a) {
    int addr = 0;
    int sub = 0;
    if (!parseDiagnostics(a, addr, sub)) return std::nullopt;
    return [=](CommandContext& c) {
        Diagn2Block block{};
        if (const int code = c.link.ReadDiagn2(addr, sub, block); code != tx::Ok)
            return reportFailure(c, "diag2", code);
        c.out << hexBytes(block) << '\n';
        return tx::Ok;
    };
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
