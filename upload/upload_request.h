// One upload request: the selected values of a recorded reading, the user
// number and a checksum the server shares the key of.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "monitor/measurement.h"
#include "upload/upload_settings.h"

namespace dkq {

inline constexpr std::uint32_t UploadKey = 0x4e73;
inline constexpr const char* UploadUserAgent = "DKQ-1 Monitor/1.7";

// The reading just recorded: the 20 raw registers and the lines' kinds.
struct UploadReadingValues {
    std::array<int, EntryCount> raw{};
    std::array<int, LineCount> kinds{};
};

// The selected registers in ascending order, comma-separated: lines as their
// CSV cells with a decimal point, counters and NUM lines as integers.
std::string uploadData(const UploadSettings& settings, const UploadReadingValues& reading);
// zlib's CRC-32 over uidText followed by data, XOR the upload key.
std::uint32_t uploadSum(std::string_view uidText, std::string_view data);
// "http://<address>?uid=<uid>&data=<data>&sum=<8 lower-case hex digits>"
// ("https://..." for an https address).
std::string uploadRequest(const UploadSettings& settings, const UploadReadingValues& reading);

}  // namespace dkq
