// Function codes of the DKQ-1 module: the standard Modbus reads and writes
// and the module's own functions.
#pragma once

#include <cstdint>

namespace dkq::fc {

inline constexpr std::uint8_t ReadHolding = 3;
inline constexpr std::uint8_t ReadInput = 4;
inline constexpr std::uint8_t WriteCoil = 5;
inline constexpr std::uint8_t WriteRegister = 6;
inline constexpr std::uint8_t Diagnostics1 = 8;
inline constexpr std::uint8_t Diagnostics2 = 9;
inline constexpr std::uint8_t ClearCounters = 10;
inline constexpr std::uint8_t ReadSigned = 30;      // configuration registers, signed
inline constexpr std::uint8_t WriteRegisters = 31;  // configuration registers, no byte count
inline constexpr std::uint8_t WriteText = 32;
inline constexpr std::uint8_t WakeUp = 0x21;  // broadcast to the record memory, no answer

}  // namespace dkq::fc
