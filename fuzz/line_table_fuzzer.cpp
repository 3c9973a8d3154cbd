// "DKQ-Logger.cfg", the line table of the record memory reader: any file
// gives twenty entries within their name and unit limits, and the CSV layout
// built from it has one kind per column.
#include <algorithm>

#include "common/text.h"
#include "fuzz/fuzz_check.h"
#include "logger/csv_export.h"
#include "logger/line_table.h"

using namespace dkq::logger;

namespace {

std::size_t characters(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dkq::fuzz::Input input(data, size);
    LoggedItemMask mask{};
    for (auto& b : mask) b = input.take();
    const LineTable table = parseLineTable(input.text());
    for (const LineEntry& entry : table.entries) {
        dkq::fuzz::check(characters(entry.name) <= MaxLineNameChars, "names are cut");
        dkq::fuzz::check(characters(entry.unit) <= MaxLineUnitChars, "units are cut");
    }
    const CsvLayout layout = buildCsvLayout(mask, table, mask[0] & 1);
    dkq::fuzz::check(layout.items.size() == layout.kinds.size(), "a kind per column");
    dkq::fuzz::check(layout.items.size() == static_cast<std::size_t>(loggedItemCount(mask)),
                     "a column per logged item");
    return 0;
}
