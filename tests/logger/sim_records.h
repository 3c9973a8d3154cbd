// What the simulated record memory holds, as CSV rows: item k of record q is
// (1000 k + q) mod 65536, record q is dated 2024-03-01 00:00:00 plus (q - 1)
// periods.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "logger/format_text.h"

namespace dkq::test {

// L = 30: lines L1, L2, counter C1, output O1, Uzas, Vcc, FLASH%, period,
// outputs word, item 40.
inline const std::vector<std::string> kItems = {"--rec-items", "1,2,17,21,33-37,40"};
inline const char* const kHeader =
    "Lp;Czas RTC;L1 [°C] ;L2 [°C] ;CNT_C1 ;O1 ;Uzas [V] ;Vcc [V] ;FLASH [%] ;Okres_rej [s] "
    ";Wyjscia [bit] ;REG[40] ; Poprawność";

inline std::string comma(std::string cell) {
    std::replace(cell.begin(), cell.end(), '.', ',');
    return cell;
}

// The row of record q with a one-minute period, read as temperatures.
inline std::string expectedRow(int q, bool valid = true) {
    const auto v = [q](int item) { return (1000 * item + q) & 0xFFFF; };
    const auto celsius = [](int raw) {
        return comma(logger::formatText(";%.1f", (raw - 2731.5) / 10));
    };
    const auto volts = [](int raw) { return comma(logger::formatText(";%.3f", raw / 1000.0)); };
    const int minutes = q - 1;
    return logger::formatText("%d;2024-03-%02d %2d:%02d:00", q, 1 + minutes / 1440,
                              minutes / 60 % 24, minutes % 60) +
           celsius(v(1)) + celsius(v(2)) + logger::formatText(";%d", v(17)) + volts(v(21)) +
           volts(v(33)) + volts(v(34)) + logger::formatText(";%d%%;%d;%d", v(35), v(36), v(37)) +
           celsius(v(40)) + (valid ? ";1" : ";0");
}

inline std::vector<std::string> expectedRows(int first, int last) {
    std::vector<std::string> rows;
    for (int q = first; q <= last; ++q) rows.push_back(expectedRow(q));
    return rows;
}

}  // namespace dkq::test
