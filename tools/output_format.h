// How dkq prints register readings and scan results: plain text for people,
// CSV (';' separated, one header line) and JSON (one object a line) for scripts.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>

#include "link/module_link.h"

namespace dkq::tool {

enum class OutputFormat { Text, Csv, Json };

struct OutputOptions {
    OutputFormat format = OutputFormat::Text;
    bool hex = false;  // register values as four hex digits
};

// "text", "csv" or "json".
std::optional<OutputFormat> parseOutputFormat(const std::string& word);

// Local time "%d-%02d-%02d %d:%02d:%02d" with milliseconds (".%03d"), so that
// rounds less than a second apart stay apart.
std::string localTimestamp();

// One read of `count` registers from `start` of module `address`; values
// hold the registers read when code is 0.
struct Reading {
    std::string time;
    int address = 0;
    int start = 0;
    int count = 0;
    std::span<const std::int32_t> values;
    int code = 0;
};

// Prints readings one line each. Text lines carry the time only when asked
// (a single read prints its values alone); CSV starts with the header
// "time;addr;reg<n>..." before the first row. Failed readings print nothing
// in text and CSV (the caller reports them on standard error); JSON prints
// them too, with their code and no values.
class ReadingPrinter {
  public:
    ReadingPrinter(std::ostream& out, OutputOptions options, bool textTimestamps);
    void print(const Reading& reading);

  private:
    std::string value(std::int32_t v) const;
    void printCsv(const Reading& reading);
    void printJson(const Reading& reading);

    std::ostream& out_;
    OutputOptions options_;
    bool textTimestamps_;
    bool headerDone_ = false;
};

// Prints the modules that answer a scan: address, firmware version, serial
// number and the two supply bytes of diagnostics block 1.
class ModulePrinter {
  public:
    ModulePrinter(std::ostream& out, OutputFormat format) : out_(out), format_(format) {}
    void print(int address, const Diagn1Block& block);

  private:
    std::ostream& out_;
    OutputFormat format_;
    bool headerDone_ = false;
};

}  // namespace dkq::tool
