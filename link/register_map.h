// The registers of a DKQ-1 module that the programs read and write.
#pragma once

namespace dkq {

// Input registers: lines L1..L16 in millivolts, then counters C1..C4.
inline constexpr int LineCount = 16;
inline constexpr int CounterCount = 4;
inline constexpr int FirstCounterRegister = LineCount;
inline constexpr int InputRegisterCount = LineCount + CounterCount;

// Holding registers: measured output voltages O1..O12 (mV), the supplies,
// the output word and the PWM values.
inline constexpr int OutputCount = 12;
inline constexpr int UzRegister = 12;
inline constexpr int VccRegister = 13;
inline constexpr int OutputWordRegister = 16;
inline constexpr int Pwm1Register = 17;
inline constexpr int Pwm2Register = 18;
inline constexpr int HoldingRegisterCount = 19;

// Configuration registers.
inline constexpr int ConfigRegisterCount = 240;
inline constexpr int ModeFlagsRegister = 6;
// The bits of ModeFlagsRegister, 0..7.
enum class ModeBit : int {
    Calibration = 0,    // "Wprowadzanie poprawek kalibracyjnych"
    AutonomousLcd = 1,  // "Autonomiczne wyświetlanie LCD"
    SterOn = 2,         // "Autonomiczne sterowanie liniami wyjściowymi"
    Pwm = 3,            // "Generowanie PWM"
    DigitalSensors = 4,
    LoggingBlockedByC1 = 5,
    EightPlusEight = 6,
    Hv2cSensor = 7,
};
inline constexpr int ModeBitCount = 8;

}  // namespace dkq
