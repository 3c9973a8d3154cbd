// Record memory answers: a frame with its letter, the length asked for and the
// count of bytes received taken from the first two bytes. A status that passes
// is decoded and every figure a reader shows is computed; a record is read and
// printed as a CSV row under the mask of its first bytes.
#include <algorithm>

#include "fuzz/fuzz_check.h"
#include "logger/csv_export.h"
#include "logger/record_frame.h"
#include "logger/status_answer.h"

using namespace dkq::logger;

namespace {

void showStatus(std::span<const std::uint8_t, StatusFrameSize> frame) {
    const StatusAnswer status = decodeStatus(frame);
    versionText(status);
    memorySizeText(status);
    occupancyText(status);
    moduleClockText(status);
    maxRecordCount(status);
    capacityHours(status);
    for (const LineKind line : {LineKind::Serial, LineKind::Tcp}) {
        downloadTimeText(downloadSeconds(status, line, 3));
        if (!isUsableRecordLength(status)) continue;
        const int batch = batchSize(status.recordLength, line);
        dkq::fuzz::check(batch >= 1 && batch <= 250, "a usable length gives a batch");
    }
}

void printRecord(std::span<const std::uint8_t> frame, bool valid, bool temperatures) {
    LoggedItemMask mask{};
    std::copy_n(frame.begin(), std::min(frame.size(), mask.size()), mask.begin());
    const CsvLayout layout = buildCsvLayout(mask, LineTable{}, temperatures);
    const Record record = readRecord(frame);
    formatRow(record, layout, valid);
    const RecordDate date = decodeRecordDate(record.date);
    dkq::fuzz::check(date.month >= 0 && date.month <= 15, "month of four bits");
    isEmptyDate(record.date);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dkq::fuzz::Input input(data, size);
    const std::uint8_t control = input.take();
    const int minLen = input.take() % 128;
    const std::span<const std::uint8_t> frame = input.rest();
    const char letters[] = {StatusLetter, RecordLetter, DataLetter};
    const char letter = letters[control % 3];
    const int received = static_cast<int>(frame.size()) + control / 3 % 8 - 4;

    const int verdict = ValidateAnswer(frame, letter, minLen, received);
    dkq::fuzz::check(verdict >= answer::Correct && verdict <= answer::EmptyFrame, "known verdict");
    if (letter == StatusLetter && verdict == answer::Correct && frame.size() >= StatusFrameSize)
        showStatus(frame.first<StatusFrameSize>());
    if (letter == RecordLetter) printRecord(frame, verdict == answer::Correct, control & 0x80);
    return 0;
}
