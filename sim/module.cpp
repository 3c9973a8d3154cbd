#include "sim/module.h"

#include <algorithm>
#include <utility>

namespace dkq::sim {
namespace {

constexpr std::uint8_t FirmwareVersion = 0x25;
constexpr std::uint8_t SupplyByte = 120;
constexpr std::uint8_t LogicSupplyByte = 50;
constexpr std::uint8_t ProgramChecksum = 0xA5;
constexpr std::uint16_t CoilOn = 0xFF00;
constexpr std::uint16_t CoilOff = 0x0000;
constexpr size_t RequestHeaderSize = 6;  // addr, fc, two 16-bit fields

std::uint16_t word(std::span<const std::uint8_t> bytes, size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void appendWord(Frame& frame, std::uint16_t value) {
    frame.push_back(static_cast<std::uint8_t>(value >> 8));
    frame.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::uint16_t clampToRegister(int value) {
    return static_cast<std::uint16_t>(std::clamp(value, 0, 0xFFFF));
}

Frame echo(std::span<const std::uint8_t> request, size_t count) {
    return Frame(request.begin(), request.begin() + static_cast<std::ptrdiff_t>(count));
}

Frame illegal(std::span<const std::uint8_t> request, std::uint8_t code) {
    return exceptionAnswer(request[0], request[1], code);
}

// Documented line values: sensors near 20 °C at 10 mV/K, plain voltages
// spread over the 0..4092 mV range.
int lineValue(int address, int reg, bool deterministic) {
    if (reg < TemperatureLineCount) return deterministic ? 2930 + 10 * address + reg : 2932 + reg;
    return 250 * reg + address;
}

int lineNoise(int reg) {
    return reg < TemperatureLineCount ? 3 : 5;
}

}  // namespace

Frame exceptionAnswer(std::uint8_t address, std::uint8_t function, std::uint8_t code) {
    return {address, static_cast<std::uint8_t>(0x80 | function), code};
}

Module::Module(int address, bool deterministic, unsigned noiseSeed, TimePoint start)
    : address_(address),
      deterministic_(deterministic),
      noise_(noiseSeed),
      lastCount_(start),
      displayText_(DisplayTextSize, ' ') {
    for (int k = 0; k < CounterCount; ++k)
        input_[static_cast<size_t>(FirstCounterRegister + k)] =
            static_cast<std::uint16_t>(100 * address + k);
    holding_[Pwm1Register] = static_cast<std::uint16_t>(100 * address);
    holding_[Pwm2Register] = static_cast<std::uint16_t>(100 * address + 1);
    config_[0] = 1;
    config_[FirstSerialRegister] = 0x1234;
    config_[FirstSerialRegister + 1] = 0x5678;
    config_[FirstSerialRegister + 2] = static_cast<std::uint16_t>(0x9A00 + address);
    measure();
}

Frame Module::answer(std::span<const std::uint8_t> request) {
    switch (request[1]) {
        case fc::ReadHolding:
            return readRegisters(request, holding_);
        case fc::ReadInput:
            return readRegisters(request, input_);
        case fc::ReadSigned:
            return readRegisters(request, config_);
        case fc::WriteCoil:
            return writeCoil(request);
        case fc::WriteRegister:
            return writeHolding(request);
        case fc::ClearCounters:
            return clearCounters(request);
        case fc::WriteRegisters:
            return writeConfig(request);
        case fc::WriteText:
            return writeText(request);
        case fc::Diagnostics1:
            return diagnostics(request, diagnostics1());
        case fc::Diagnostics2:
            return diagnostics(request, diagnostics2());
        default:
            return illegal(request, exception::IllegalFunction);
    }
}

void Module::advance(TimePoint now) {
    if (deterministic_) return;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - lastCount_);
    if (seconds.count() > 0) {
        for (int k = 0; k < CounterCount; ++k) {
            auto& counter = input_[static_cast<size_t>(FirstCounterRegister + k)];
            counter = static_cast<std::uint16_t>(counter + seconds.count());
        }
        lastCount_ += seconds;
    }
    measure();
}

std::array<std::uint8_t, Diagnostics1Size> Module::diagnostics1() const {
    unsigned eepromSum = 0;
    for (auto value : config_) eepromSum += (value >> 8) + (value & 0xFF);
    std::array<std::uint8_t, Diagnostics1Size> block{};
    block[0] = FirmwareVersion;
    for (int k = 0; k < 3; ++k) {
        const auto serial = config_[static_cast<size_t>(FirstSerialRegister + k)];
        block[static_cast<size_t>(1 + 2 * k)] = static_cast<std::uint8_t>(serial >> 8);
        block[static_cast<size_t>(2 + 2 * k)] = static_cast<std::uint8_t>(serial & 0xFF);
    }
    block[7] = SupplyByte;
    block[8] = LogicSupplyByte;
    block[9] = ProgramChecksum;
    block[10] = static_cast<std::uint8_t>(eepromSum & 0xFF);
    return block;
}

std::array<std::uint8_t, Diagnostics2Size> Module::diagnostics2() const {
    std::array<std::uint8_t, Diagnostics2Size> block{};
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>((i + static_cast<size_t>(address_)) & 0xFF);
    return block;
}

void Module::setInput(int reg, std::uint16_t value) {
    input_[static_cast<size_t>(reg)] = value;
    if (reg < LineCount) inputPinned_.set(static_cast<size_t>(reg));
}

void Module::setHolding(int reg, std::uint16_t value) {
    if (reg == OutputWordRegister) return setOutputWord(value);
    holding_[static_cast<size_t>(reg)] = value;
    holdingPinned_.set(static_cast<size_t>(reg));
}

void Module::setConfig(int reg, std::uint16_t value) {
    config_[static_cast<size_t>(reg)] = value;
    configChanged_ = true;
}

void Module::loadConfig(const ConfigMemory& memory) {
    config_ = memory;
}

bool Module::takeConfigChanged() {
    return std::exchange(configChanged_, false);
}

Frame Module::readRegisters(std::span<const std::uint8_t> request,
                            std::span<const std::uint16_t> regs) {
    if (request.size() < RequestHeaderSize) return illegal(request, exception::IllegalValue);
    const int start = word(request, 2);
    const int count = word(request, 4);
    if (count == 0 || count > modbus::MaxRegistersPerRead)
        return illegal(request, exception::IllegalValue);
    if (start + count > static_cast<int>(regs.size()))
        return illegal(request, exception::IllegalAddress);
    Frame answer{request[0], request[1], static_cast<std::uint8_t>(2 * count)};
    for (int r = start; r < start + count; ++r) appendWord(answer, regs[static_cast<size_t>(r)]);
    return answer;
}

Frame Module::writeCoil(std::span<const std::uint8_t> request) {
    if (request.size() < RequestHeaderSize) return illegal(request, exception::IllegalValue);
    const int coil = word(request, 2);
    const auto value = word(request, 4);
    if (value != CoilOn && value != CoilOff) return illegal(request, exception::IllegalValue);
    if (coil >= OutputCount) return illegal(request, exception::IllegalAddress);
    const auto bit = static_cast<std::uint16_t>(1u << coil);
    const auto outputs = holding_[OutputWordRegister];
    setOutputWord(static_cast<std::uint16_t>(value == CoilOn ? outputs | bit : outputs & ~bit));
    return echo(request, RequestHeaderSize);
}

// Output voltages are measured: a write to them is acknowledged and changes
// nothing, like on the module itself.
Frame Module::writeHolding(std::span<const std::uint8_t> request) {
    if (request.size() < RequestHeaderSize) return illegal(request, exception::IllegalValue);
    const int reg = word(request, 2);
    if (reg >= HoldingRegisterCount) return illegal(request, exception::IllegalAddress);
    if (reg >= OutputCount) setHolding(reg, word(request, 4));
    return echo(request, RequestHeaderSize);
}

Frame Module::clearCounters(std::span<const std::uint8_t> request) {
    constexpr size_t size = 4;  // addr, fc, mask, mask
    if (request.size() < size) return illegal(request, exception::IllegalValue);
    for (int k = 0; k < CounterCount; ++k)
        if (request[2] & (1 << k)) input_[static_cast<size_t>(FirstCounterRegister + k)] = 0;
    return echo(request, size);
}

Frame Module::writeConfig(std::span<const std::uint8_t> request) {
    if (request.size() < RequestHeaderSize) return illegal(request, exception::IllegalValue);
    const int start = word(request, 2);
    const int count = word(request, 4);
    if (count == 0 || count > modbus::MaxRegistersPerWrite ||
        request.size() < RequestHeaderSize + 2 * static_cast<size_t>(count))
        return illegal(request, exception::IllegalValue);
    if (start + count > ConfigRegisterCount) return illegal(request, exception::IllegalAddress);
    for (int k = 0; k < count; ++k)
        setConfig(start + k, word(request, RequestHeaderSize + 2 * static_cast<size_t>(k)));
    return echo(request, RequestHeaderSize);
}

// Start 0xFE initialises the display: the text is cleared and written from
// its beginning. Characters beyond the last position are lost.
Frame Module::writeText(std::span<const std::uint8_t> request) {
    if (request.size() < RequestHeaderSize) return illegal(request, exception::IllegalValue);
    const int start = word(request, 2);
    const int length = word(request, 4);
    if (length == 0 || length > modbus::MaxTextPerWrite ||
        request.size() < RequestHeaderSize + static_cast<size_t>(length))
        return illegal(request, exception::IllegalValue);
    if (start >= DisplayTextSize) return illegal(request, exception::IllegalAddress);
    int position = start;
    if (start == DisplayInitCommand) {
        displayText_.assign(DisplayTextSize, ' ');
        position = 0;
    }
    const int stored = std::min(length, DisplayTextSize - position);
    for (int k = 0; k < stored; ++k)
        displayText_[static_cast<size_t>(position + k)] =
            static_cast<char>(request[RequestHeaderSize + static_cast<size_t>(k)]);
    return echo(request, RequestHeaderSize);
}

Frame Module::diagnostics(std::span<const std::uint8_t> request,
                          std::span<const std::uint8_t> block) {
    constexpr size_t size = 4;  // addr, fc, sub-function
    if (request.size() < size || word(request, 2) != 0)
        return illegal(request, exception::IllegalValue);
    Frame answer{request[0], request[1], static_cast<std::uint8_t>(block.size())};
    answer.insert(answer.end(), block.begin(), block.end());
    return answer;
}

void Module::setOutputWord(std::uint16_t word) {
    holding_[OutputWordRegister] = word;
    measure();
}

// The outputs switch to ground: one that is on measures near 0 V, one that is
// off is pulled up near the supply. The monitors flag anything else.
std::uint16_t Module::outputVoltage(int output) const {
    const bool on = holding_[OutputWordRegister] & (1u << output);
    return static_cast<std::uint16_t>(on ? output : 11900 + output);
}

void Module::measure() {
    for (int r = 0; r < LineCount; ++r) {
        if (inputPinned_[static_cast<size_t>(r)]) continue;
        input_[static_cast<size_t>(r)] = static_cast<std::uint16_t>(
            std::clamp(lineValue(address_, r, deterministic_) + noise(lineNoise(r)), 0, 4092));
    }
    for (int r = 0; r < OutputCount; ++r) {
        if (holdingPinned_[static_cast<size_t>(r)]) continue;
        holding_[static_cast<size_t>(r)] = clampToRegister(outputVoltage(r) + noise(20));
    }
    if (!holdingPinned_[UzRegister])
        holding_[UzRegister] = clampToRegister(12000 + address_ + noise(30));
    if (!holdingPinned_[VccRegister])
        holding_[VccRegister] = clampToRegister(5000 + address_ + noise(10));
}

int Module::noise(int amplitude) {
    if (deterministic_) return 0;
    return std::uniform_int_distribution<int>(-amplitude, amplitude)(noise_);
}

}  // namespace dkq::sim
