// One upload request: the selected values of a recorded reading, the user
// number and a checksum the server shares the key of.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "monitor/measurement.h"
#include "upload/upload_settings.h"

namespace dkq {

inline constexpr std::uint32_t UploadKey = 0x4e73;
inline constexpr const char* UploadUserAgent = "DKQ-1 Monitor/1.7";

// The reading just recorded: the 20 raw registers, the lines' kinds and the
// instant whose seconds its CSV row shows.
struct UploadReadingValues {
    std::array<int, EntryCount> raw{};
    std::array<int, LineCount> kinds{};
    std::chrono::system_clock::time_point time{};
};

// The selected registers in ascending order, comma-separated: lines as their
// CSV cells with a decimal point, counters and NUM lines as integers.
std::string uploadData(const UploadSettings& settings, const UploadReadingValues& reading);
// "2026-12-07T08:50:50.540Z": the instant in UTC, to the millisecond.
std::string uploadTimeText(std::chrono::system_clock::time_point instant);
// zlib's CRC-32 over uidText, data and timeText in a row, XOR the upload key.
std::uint32_t uploadSum(std::string_view uidText, std::string_view data,
                        std::string_view timeText = {});
// "uid=<uid>&data=<data>&sum=<8 lower-case hex digits>", with
// "&time=<timeText>" before the sum when timeText is not empty.
std::string uploadQuery(const UploadSettings& settings, const UploadReadingValues& reading,
                        std::string_view timeText = {});
// "http://<address>?<query>" ("https://..." for an https address).
std::string uploadRequest(const UploadSettings& settings, std::string_view query);
// The request of a reading without its time.
std::string uploadRequest(const UploadSettings& settings, const UploadReadingValues& reading);

}  // namespace dkq
