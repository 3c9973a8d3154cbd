// The status answer of the record memory and the figures a reader shows from
// it. Decoding takes a checked 31-byte frame; the figures are pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "logger/record_frame.h"

namespace dkq::logger {

struct ModuleClock {
    int second = 0;
    int minute = 0;
    int hour = 0;
    int day = 0;
    int month = 0;
    int year = 0;  // minus 2000
};

struct StatusAnswer {
    char version[2] = {'0', '0'};  // firmware version, two characters
    int recordLength = 0;          // L
    std::int64_t recordCount = 0;  // N
    int recordsPerBlock = 0;       // b
    int blockCount = 0;            // B
    int occupancyPercent = 0;
    bool loggingOn = false;
    bool cyclicBuffer = false;
    LoggedItemMask mask{};
    int periodSeconds = 0;
    ModuleClock clock;
};

// Reads the fields of a status frame that ValidateAnswer accepted.
StatusAnswer decodeStatus(std::span<const std::uint8_t, StatusFrameSize> frame);
// The frame of a status (the simulated module answers with it).
std::array<std::uint8_t, StatusFrameSize> encodeStatus(const StatusAnswer& status);

enum class LineKind { Serial, Tcp };

// Records asked for in one read: what fits in 496 answer bytes over TCP or
// 2048 on the serial line, at most 250.
int batchSize(int recordLength, LineKind line);

// A record length the reader can work with: room for the number and date,
// at most the 104 bytes a record is kept in, one value for every logged
// item, and at least one record per batch on either line.
bool isUsableRecordLength(const StatusAnswer& status);

// The texts a reader shows for a status.
std::string versionText(const StatusAnswer& s);      // "V1.7"
std::string memorySizeText(const StatusAnswer& s);   // megabytes, "%4.1f"
std::int64_t maxRecordCount(const StatusAnswer& s);  // b × (B − 1)
std::int64_t capacityHours(const StatusAnswer& s);   // period × max records / 3600
std::string occupancyText(const StatusAnswer& s);    // "37 %"
std::string moduleClockText(const StatusAnswer& s);  // "2024-03-09  9:07:02"

// Estimated download time in seconds, from the line and, on the serial line,
// the COM port number (slower ports above COM2).
double downloadSeconds(const StatusAnswer& s, LineKind line, int comPort);
// "%.1f sekund" below 90 s, "%d min %d sek" from 90 s on.
std::string downloadTimeText(double seconds);
// While a download runs: the time left at the rate measured so far, as
// "pozostało " and downloadTimeText; nothing before a second has passed.
std::optional<std::string> remainingTimeText(std::int64_t done, std::int64_t total,
                                             double elapsedSeconds);

}  // namespace dkq::logger
