// How dkq prints what it reads: plain text for people, CSV (';' separated,
// one header line) and JSON (one object a line) for scripts. Numbers of one
// kind take the same base in every format.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "link/module_link.h"

namespace dkq::tool {

enum class OutputFormat { Text, Csv, Json };

struct OutputOptions {
    OutputFormat format = OutputFormat::Text;
    bool hex = false;  // register values as four hex digits
};

// "text", "csv" or "json".
std::optional<OutputFormat> parseOutputFormat(const std::string& word);

using WallClock = std::chrono::system_clock;

// Local time as text output shows it, "2026-12-07 8:50:50.540" (the hour
// without a leading zero, as the suite's logs write it).
std::string textTimestamp(WallClock::time_point time);
// Local time in ISO 8601 with milliseconds and the offset from UTC, so that
// it parses and sorts: "2026-12-07T08:50:50.540+01:00".
std::string isoTimestamp(WallClock::time_point time);

// Two upper-case hex digits a byte, blank between bytes.
std::string hexBytes(std::span<const std::uint8_t> bytes);

// One named value of a record: a number, a text (quoted in JSON) or a JSON
// value written as it stands (an array). A bus address is "addr" in CSV
// headers and "address" in JSON.
struct Field {
    enum Kind { Number, Text, Json };
    std::string key;
    std::string value;
    Kind kind = Text;
};
using Fields = std::vector<Field>;

// Prints records as CSV rows after a header line of their keys, or as JSON
// objects, one a line.
class RecordPrinter {
  public:
    RecordPrinter(std::ostream& out, OutputFormat format) : out_(out), format_(format) {}
    void print(const Fields& fields);

  private:
    std::ostream& out_;
    OutputFormat format_;
    bool headerDone_ = false;
};

// One read of `count` registers from `start` of module `address`; values
// hold the registers read when error is empty.
struct Reading {
    WallClock::time_point time;
    int address = 0;
    int start = 0;
    int count = 0;
    std::span<const std::int32_t> values;
    int status = 0;     // dkq's status of the exchange, 0 on success
    std::string error;  // what failed, empty on success
};

// Prints readings one line each. Text lines carry the time only when asked
// (a single read prints its values alone) and skip failed readings (the
// caller reports them on standard error); CSV ("time;addr;reg<n>...;code;
// error") and JSON rows carry failures too, with their status and error and
// no values.
class ReadingPrinter {
  public:
    ReadingPrinter(std::ostream& out, OutputOptions options, bool textTimestamps);
    void print(const Reading& reading);

  private:
    std::string value(std::int32_t v) const;

    std::ostream& out_;
    OutputOptions options_;
    bool textTimestamps_;
    RecordPrinter records_;
};

// Prints a module of diagnostics block 1: in text the scan's line (address,
// firmware version, serial number, supply bytes), in CSV and JSON every
// byte that has a meaning, bytes as hex digits as the text shows them.
class ModulePrinter {
  public:
    ModulePrinter(std::ostream& out, OutputFormat format)
        : out_(out), format_(format), records_(out, format) {}
    void print(int address, const Diagn1Block& block);

  private:
    std::ostream& out_;
    OutputFormat format_;
    RecordPrinter records_;
};

}  // namespace dkq::tool
