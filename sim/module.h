// One simulated DKQ-1 module: its registers, display text and diagnostics,
// and its answer to a Modbus request. Pure: no I/O, time comes from the caller.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "link/function_codes.h"
#include "link/modbus_ascii.h"
#include "link/register_map.h"
#include "sim/sim_time.h"

namespace dkq::sim {

inline constexpr int FirstModuleAddress = 1;
inline constexpr int LastModuleAddress = 247;
inline constexpr int BroadcastAddress = 0;

inline constexpr int TemperatureLineCount = 4;  // lines L1..L4 carry 10 mV/K sensors
inline constexpr int FirstSerialRegister = 1;   // registers 1..3: serial number, 2 bytes each
inline constexpr int DisplayTextSize = 256;
inline constexpr int DisplayInitCommand = 0xFE;  // text start that clears the display first

namespace exception {
inline constexpr std::uint8_t IllegalFunction = 1;
inline constexpr std::uint8_t IllegalAddress = 2;
inline constexpr std::uint8_t IllegalValue = 3;
}  // namespace exception

using Frame = std::vector<std::uint8_t>;  // request or answer bytes, without the LRC
using ConfigMemory = std::array<std::uint16_t, ConfigRegisterCount>;
inline constexpr int Diagnostics1Size = 11;
inline constexpr int Diagnostics2Size = 30;

// addr, 0x80 | fc, code.
Frame exceptionAnswer(std::uint8_t address, std::uint8_t function, std::uint8_t code);

class Module {
  public:
    // Deterministic modules hold the documented value table; live ones add
    // noise drawn from noiseSeed and count their counters once a second.
    Module(int address, bool deterministic, unsigned noiseSeed, TimePoint start);

    // The answer to a request addressed to this module or broadcast (bytes
    // from the address on, at least 2). A broadcast's answer is not sent.
    Frame answer(std::span<const std::uint8_t> request);

    // Lets time pass up to now: counters count and measured values wander.
    void advance(TimePoint now);

    std::uint16_t input(int reg) const { return input_[static_cast<size_t>(reg)]; }
    std::uint16_t holding(int reg) const { return holding_[static_cast<size_t>(reg)]; }
    std::uint16_t config(int reg) const { return config_[static_cast<size_t>(reg)]; }
    const ConfigMemory& configMemory() const { return config_; }
    const std::string& displayText() const { return displayText_; }

    // Values set from the console stay as set (measured values stop
    // following their source); counters go on counting from the value.
    void setInput(int reg, std::uint16_t value);
    void setHolding(int reg, std::uint16_t value);
    void setConfig(int reg, std::uint16_t value);
    void loadConfig(const ConfigMemory& memory);

    // True once after any configuration write.
    bool takeConfigChanged();

  private:
    Frame readRegisters(std::span<const std::uint8_t> request, std::span<const std::uint16_t> regs);
    Frame writeCoil(std::span<const std::uint8_t> request);
    Frame writeHolding(std::span<const std::uint8_t> request);
    Frame clearCounters(std::span<const std::uint8_t> request);
    Frame writeConfig(std::span<const std::uint8_t> request);
    Frame writeText(std::span<const std::uint8_t> request);
    Frame diagnostics(std::span<const std::uint8_t> request, std::span<const std::uint8_t> block);
    std::array<std::uint8_t, Diagnostics1Size> diagnostics1() const;
    std::array<std::uint8_t, Diagnostics2Size> diagnostics2() const;

    void setOutputWord(std::uint16_t word);
    void measure();
    int noise(int amplitude);
    std::uint16_t outputVoltage(int output) const;

    int address_;
    bool deterministic_;
    std::minstd_rand noise_;
    TimePoint lastCount_;
    std::array<std::uint16_t, InputRegisterCount> input_{};
    std::array<std::uint16_t, HoldingRegisterCount> holding_{};
    ConfigMemory config_{};
    std::bitset<InputRegisterCount> inputPinned_;
    std::bitset<HoldingRegisterCount> holdingPinned_;
    std::string displayText_;
    bool configChanged_ = false;
};

}  // namespace dkq::sim
