// What the monitor cores report to their windows besides the readings: the
// outputs read back with their checks, and records waiting for their file.
#pragma once

#include <array>
#include <cstddef>

#include "monitor/measurement.h"

namespace dkq {

// A module's outputs as last read back, with their checks.
struct OutputReadback {
    OutputState outputs;        // check boxes from the output word; PWM1, PWM2
    bool checked = false;       // "Pomiary linii wyjściowych" on: labels below apply
    SupplyAlarms supplyAlarms;  // "Zasilanie !" labels; empty text = hidden
    std::array<bool, OutputCount> mismatches{};  // "???" labels
};

// "Brak dostępu do pliku!" shows while records wait for their file.
struct FileProblem {
    bool visible = false;
    std::size_t waitingRecords = 0;
    long long droppedRecords = 0;  // oldest waiting records given up since START
};

}  // namespace dkq
