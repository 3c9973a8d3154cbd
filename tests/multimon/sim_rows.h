// Record rows of the simulator's fixed values, as both monitors write them.
#pragma once

#include <string>

#include "common/text_file.h"
#include "monitor/measurement.h"

namespace dkq::test {

// Record cells of module address a: lines (from firstLine) in volts, then counters.
inline std::string cells(int a, int firstLine = 0) {
    std::string cells;
    for (int r = firstLine; r < LineCount; ++r) {
        const int raw = r < 4 ? 2930 + 10 * a + r : 250 * r + a;
        cells +=
            std::to_string(raw / 1000) + "," + std::to_string(1000 + raw % 1000).substr(1) + ";";
    }
    for (int c = 0; c < CounterCount; ++c) cells += std::to_string(100 * a + c) + ";";
    return cells;
}

// The cells of a module that did not answer.
inline std::string blank() {
    std::string cells;
    for (int entry = 0; entry < EntryCount; ++entry) cells += "   ;";
    return cells;
}

inline std::string recordLine(int count, const std::string& second, const std::string& row) {
    return encodeTextFile(std::to_string(count) + ";2024-03-05 7:08:" + second + ";" + row + "\n");
}

}  // namespace dkq::test
