// Whole numbers typed by a user on the command line, on the console or in the
// state file.
#pragma once

#include <optional>
#include <string_view>

namespace dkq::sim {

// A decimal number with an optional '-', or a hexadecimal one after "0x";
// nothing else on the text. Values that do not fit a long are refused.
std::optional<long> parseNumber(std::string_view text);

// parseNumber limited to low..high.
std::optional<int> parseNumberIn(std::string_view text, long low, long high);

}  // namespace dkq::sim
