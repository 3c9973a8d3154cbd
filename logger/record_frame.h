// The record memory's binary answer frames: the CRC that protects them, their
// check, the record date and the logged-item mask. Pure functions, shared by
// the reader and the simulated module.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace dkq::logger {

// Outcomes of ValidateAnswer.
namespace answer {
inline constexpr int Correct = 0;
inline constexpr int UnknownFormat = 1;  // wrong type letter
inline constexpr int WrongLength = 2;
inline constexpr int ChecksumError = 3;
inline constexpr int EmptyFrame = 4;  // wrong CRC, but every content and CRC byte is zero
}  // namespace answer

inline constexpr char StatusLetter = 'S';
inline constexpr char RecordLetter = 'R';
inline constexpr char DataLetter = 'D';

inline constexpr int CrcBytes = 2;
inline constexpr int StatusContentLength = 29;  // e of a status frame
inline constexpr int StatusFrameSize = StatusContentLength + CrcBytes;

// A record: letter, L, number (4 bytes), date and time (4 bytes), values.
inline constexpr int RecordNumberOffset = 2;
inline constexpr int RecordDateOffset = 6;
inline constexpr int RecordValuesOffset = 10;
inline constexpr int MinRecordLength = RecordValuesOffset;
// A record is printed from at most 106 bytes, so L may not exceed 104.
inline constexpr int MaxRecordLength = 104;

inline constexpr int LoggedItemCount = 40;
inline constexpr int MaskBytes = 5;
using LoggedItemMask = std::array<std::uint8_t, MaskBytes>;

// CRC-16 with the Modbus polynomial (0xA001 reflected, start 0xFFFF).
std::uint16_t AnswerCrc(std::span<const std::uint8_t> bytes);

// Checks one frame of `received` bytes. The CRC is stored high byte first at
// byte e and e + 1, e being byte 1. Letter 'D' frames keep their CRC over
// bytes 2 .. e - 1.
int ValidateAnswer(std::span<const std::uint8_t> frame, char letter, int minLen, int received);

// Writes e = frame.size() - 2 into byte 1 and the CRC into the last two
// bytes of a frame whose letter and contents are in place.
void sealFrame(std::span<std::uint8_t> frame);

// Item k (1..40) is bit (k - 1) mod 8 of byte (k - 1) / 8.
bool isLogged(const LoggedItemMask& mask, int item);
void setLogged(LoggedItemMask& mask, int item, bool on);
int loggedItemCount(const LoggedItemMask& mask);

// Record length a mask needs: number, date and one 16-bit value per item.
int recordLengthFor(const LoggedItemMask& mask);

struct RecordDate {
    int year = 0;  // 2016 .. 2031
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

using PackedDate = std::array<std::uint8_t, 4>;

RecordDate decodeRecordDate(const PackedDate& bytes);
PackedDate encodeRecordDate(const RecordDate& date);

// True when the date bytes (the first three) are all 0x00 or all 0xFF.
bool isEmptyDate(const PackedDate& bytes);

// Year, then month, then day; time of day does not count.
bool isEarlierDay(const RecordDate& a, const RecordDate& b);

}  // namespace dkq::logger
