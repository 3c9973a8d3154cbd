// The numbers of a data text: read from "21.4,4.500,120" and written back
// the shortest way that reads the same.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dkq::collector {

// "-?[0-9]+(.[0-9]+)?" items separated by ","; the empty text has none.
// False, with no values, for any other text.
bool readValues(std::string_view data, std::vector<double>& values);

// One number the shortest way that reads back the same ("4.5", "120").
void appendNumber(std::string& out, double value);
// The numbers between `open` and `close`, separated by ",".
void appendNumbers(std::string& out, std::span<const double> values, char open, char close);

}  // namespace dkq::collector
