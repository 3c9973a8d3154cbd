// Times of the collector: milliseconds since 1970-01-01 00:00 UTC, written
// and read as UTC texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dkq::collector {

// The range a time may take: 1970 up to the end of year 9999.
inline constexpr std::int64_t EarliestMs = 0;
inline constexpr std::int64_t LatestMs = 253402300800000;

std::int64_t nowMs();

// "2024-03-05T09:07:02.123Z".
std::string isoTime(std::int64_t ms);
// The suite's date and time, hour without a leading zero, milliseconds after a
// decimal comma: "2024-03-05 9:07:02,123".
std::string csvTime(std::int64_t ms);
// "YYYY-MM-DD", optionally followed by "T" or " ", "HH:MM", ":SS", "." and
// up to nine digits (cut to milliseconds), and "Z"; always UTC. Nothing for
// any other text or a date outside EarliestMs..LatestMs.
std::optional<std::int64_t> readIsoTime(std::string_view text);

}  // namespace dkq::collector
