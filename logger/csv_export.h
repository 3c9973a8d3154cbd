// The CSV form of downloaded records: the header lines, one row per record,
// and the file that takes them in Windows-1250 with CR LF line ends.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "logger/line_table.h"
#include "logger/record_frame.h"

namespace dkq::logger {

// Which columns a file has and how their values are printed.
struct CsvLayout {
    std::vector<int> items;  // logged items in rising order, one column each
    std::vector<int> kinds;  // value kind per column (used by lines L1-L16 and item 40)
    std::string header;      // line 1
    std::optional<std::string> unitsHeader;  // line 2, only when the names carry units
};

// readAsTemperatures decides the kind of lines the table does not describe.
CsvLayout buildCsvLayout(const LoggedItemMask& mask, const LineTable& table,
                         bool readAsTemperatures);

// A record as printed: at most its first 106 bytes are kept.
inline constexpr int KeptRecordBytes = MaxRecordLength + CrcBytes;

struct Record {
    std::int32_t number = 0;
    PackedDate date{};
    std::array<std::uint8_t, KeptRecordBytes> bytes{};

    std::uint16_t value(size_t column) const;
};

Record readRecord(std::span<const std::uint8_t> frame);

// One row without its line end.
std::string formatRow(const Record& record, const CsvLayout& layout, bool valid);

// The file name with ".csv" added when its name has neither ".csv" nor ".CSV".
std::string withCsvExtension(const std::string& path);
// Name of part `part` (1, 2, ...): the name cut at its first ".csv" or
// ".CSV", then "_<part>.csv", in the same folder.
std::string partFileName(const std::string& path, int part);

// A CSV file being written. Lines are UTF-8 and go out in Windows-1250 with
// CR LF. Creating replaces whatever had the name (a symbolic link too) with a
// new empty file. Lines wait in memory until flush appends them in one write
// that lands whole or not at all, so a full disk never leaves part of a row; a
// failed write is remembered until the file is created again.
class CsvFile {
  public:
    bool create(const std::string& path);
    void writeLine(const std::string& line);
    // Appends the waiting lines to the file; false when any write failed.
    bool flush();
    // Flushes what waits and closes.
    void close();
    // Closes the file and deletes it.
    void discard();
    bool isOpen() const { return open_; }

  private:
    std::string path_;
    std::string waiting_;  // Windows-1250 bytes not yet in the file
    bool open_ = false;
    bool failed_ = false;
};

}  // namespace dkq::logger
