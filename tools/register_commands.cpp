// Register and diagnostics commands: one module operation each. Register
// numbers are the module's own, counted from 0, as they travel in the frame.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>
#include <vector>

#include "common/cp1250.h"
#include "tools/register_read.h"

namespace dkq::tool {
namespace {

using Args = std::vector<std::string>;
using Prepared = std::optional<PreparedCommand>;

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

constexpr const char* kReadCommands[] = {"read-input", "read-holding", "read-config"};
constexpr ReadOperation kReadOperations[] = {&ModuleLink::ReadInputRegisters,
                                             &ModuleLink::ReadHoldingRegisters,
                                             &ModuleLink::ReadSignedRegisters};

Prepared readCommand(const char* name, const Args& a) {
    const auto read = parseRegisterRead(name, a);
    if (!read) return std::nullopt;
    return [read = *read](CommandContext& c) {
        ReadingPrinter printer(c.out, c.output, false);
        return readAndPrint(c, read, printer, WallClock::now(), false);
    };
}

Prepared readInput(const Args& a) {
    return readCommand(kReadCommands[0], a);
}
Prepared readHolding(const Args& a) {
    return readCommand(kReadCommands[1], a);
}
Prepared readConfig(const Args& a) {
    return readCommand(kReadCommands[2], a);
}

Prepared writeRegister(const Args& a) {
    if (!argumentCount(a, 3, 3)) return std::nullopt;
    const auto addr = addressArgument(a[0], true);
    const auto reg = numberArgument(a[1], "REG", 0, 65535);
    const auto value = numberArgument(a[2], "VALUE", -32768, 65535);
    if (!addr || !reg || !value) return std::nullopt;
    return [=](CommandContext& c) {
        return finishWrite(c, "write-register", c.link.WriteRegister(*addr, *reg, *value));
    };
}

Prepared writeCoil(const Args& a) {
    if (!argumentCount(a, 3, 3)) return std::nullopt;
    const auto addr = addressArgument(a[0], true);
    const auto coil = numberArgument(a[1], "COIL", 0, 65535);
    if (a[2] != "on" && a[2] != "off") return refuse("the coil state must be on or off");
    const bool on = a[2] == "on";
    if (!addr || !coil) return std::nullopt;
    return [=](CommandContext& c) {
        return finishWrite(c, "write-coil", c.link.WriteCoil(*addr, *coil, on));
    };
}

Prepared writeConfig(const Args& a) {
    if (!argumentCount(a, 3, 2 + MaxRegistersPerWrite)) return std::nullopt;
    const auto addr = addressArgument(a[0], true);
    const auto start = registerRange(a[1], static_cast<int>(a.size() - 2));
    if (!addr || !start) return std::nullopt;
    std::vector<std::int32_t> values;
    for (size_t i = 2; i < a.size(); ++i) {
        const auto value = numberArgument(a[i], "VALUE", -32768, 65535);
        if (!value) return std::nullopt;
        values.push_back(*value);
    }
    return [=](CommandContext& c) {
        const int count = static_cast<int>(values.size());
        return finishWrite(c, "write-config", c.link.WriteRegisters(*addr, *start, count, values));
    };
}

Prepared writeText(const Args& a) {
    if (!argumentCount(a, 3, 3)) return std::nullopt;
    const auto addr = addressArgument(a[0], true);
    const auto start = numberArgument(a[1], "START", 0, 65535);
    const std::string text = utf8ToCp1250(a[2]);
    if (text.size() > static_cast<size_t>(MaxTextPerWrite))
        return refuse("TEXT must be at most " + std::to_string(MaxTextPerWrite) + " characters");
    if (!addr || !start) return std::nullopt;
    return [=](CommandContext& c) {
        const int length = static_cast<int>(text.size());
        return finishWrite(c, "write-text", c.link.WriteText(*addr, *start, length, text));
    };
}

Prepared clearCounters(const Args& a) {
    if (!argumentCount(a, 2, 2)) return std::nullopt;
    const auto addr = addressArgument(a[0], true);
    const auto mask = numberArgument(a[1], "MASK", 0, 255);
    if (!addr || !mask) return std::nullopt;
    return [=](CommandContext& c) {
        return finishWrite(c, "clear-counters", c.link.ClearCounters(*addr, *mask));
    };
}

// ADDR [SUB] of the two diagnostics commands.
bool parseDiagnostics(const Args& a, int& addr, int& sub) {
    if (!argumentCount(a, 1, 2)) return false;
    const auto address = addressArgument(a[0], false);
    const auto function =
        a.size() == 2 ? numberArgument(a[1], "SUB", 0, 65535) : std::optional<int>(0);
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
        if (c.output.format == OutputFormat::Text)
            c.out << hexBytes(block) << '\n' << firmwareLine(block) << '\n';
        else
            ModulePrinter(c.out, c.output.format).print(addr, block);
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
        if (c.output.format == OutputFormat::Text)
            c.out << hexBytes(block) << '\n';
        else
            RecordPrinter(c.out, c.output.format)
                .print({{c.output.format == OutputFormat::Csv ? "addr" : "address",
                         std::to_string(addr), Field::Number},
                        {"bytes", hexBytes(block)}});
        return tx::Ok;
    };
}

constexpr ToolCommand kCommands[] = {
    {kReadCommands[0], "ADDR START COUNT", "read input registers (function 4)", false, readInput},
    {kReadCommands[1], "ADDR START COUNT", "read holding registers (function 3)", false,
     readHolding},
    {kReadCommands[2], "ADDR START COUNT",
     "read configuration memory registers as signed values (function 30)", false, readConfig},
    {"write-register", "ADDR REG VALUE", "write one holding register (function 6)", false,
     writeRegister},
    {"write-coil", "ADDR COIL on|off", "switch one output, O1..O12 as coils 0..11 (function 5)",
     false, writeCoil},
    {"write-config", "ADDR START VALUE...",
     "write configuration memory registers: calibration, rules, flags (function 31)", false,
     writeConfig},
    {"write-text", "ADDR START TEXT", "write display text from character START (function 32)",
     false, writeText},
    {"clear-counters", "ADDR MASK", "clear the counters C1..C4 of the mask's bits (function 10)",
     false, clearCounters},
    {"diag1", "ADDR [SUB]",
     "diagnostics block 1: firmware, serial number, supplies, checksums (function 8)", false,
     diag1},
    {"diag2", "ADDR [SUB]", "diagnostics block 2, 30 bytes (function 9)", false, diag2},
};

// The commands renamed for what they touch: the old name is refused with the new one.
constexpr std::pair<const char*, const char*> kRenamed[] = {
    {"read-signed", "read-config"},
    {"write-registers", "write-config"},
};

}  // namespace

std::span<const ToolCommand> registerCommands() {
    return kCommands;
}

const char* readCommandNames() {
    return "read-input|read-holding|read-config";
}

std::optional<std::string> renamedCommand(const std::string& name) {
    for (const auto& [old, now] : kRenamed)
        if (name == old)
            return name + " is now " + now + ": it reads or writes the configuration memory";
    return std::nullopt;
}

std::optional<RegisterRead> parseRegisterRead(const std::string& name, const Args& args) {
    if (const auto renamed = renamedCommand(name)) return refuse(*renamed);
    const auto* found = std::find(std::begin(kReadCommands), std::end(kReadCommands), name);
    if (found == std::end(kReadCommands))
        return refuse("the command to repeat must be one of " + std::string(readCommandNames()));
    if (!argumentCount(args, 3, 3)) return std::nullopt;
    const auto addr = addressArgument(args[0], false);
    const auto count = numberArgument(args[2], "COUNT", 1, MaxRegistersPerRead);
    const auto start = registerRange(args[1], count.value_or(1));
    if (!addr || !start || !count) return std::nullopt;
    const auto operation = kReadOperations[found - std::begin(kReadCommands)];
    return RegisterRead{operation, *addr, *start, *count};
}

int readAndPrint(CommandContext& c, const RegisterRead& read, ReadingPrinter& printer,
                 WallClock::time_point time, bool timeInMessage) {
    std::vector<std::int32_t> values(static_cast<size_t>(read.count));
    const int code = (c.link.*read.operation)(read.address, read.start, read.count, values);
    Reading reading{time, read.address, read.start, read.count, values, tx::Ok, {}};
    if (code == tx::Ok) {
        printer.print(reading);
        return tx::Ok;
    }
    return printFailure(c, reading, printer, "read failed: ", failureOf(c, code), timeInMessage);
}

int printFailure(CommandContext& c, Reading reading, ReadingPrinter& printer, const char* what,
                 const Failure& failure, bool timeInMessage) {
    reading.status = failure.status;
    reading.error = failure.text;
    printer.print(reading);
    c.err << "dkq: " << (timeInMessage ? textTimestamp(reading.time) + " " : "") << what
          << failure.text << '\n';
    return failure.status;
}

}  // namespace dkq::tool
