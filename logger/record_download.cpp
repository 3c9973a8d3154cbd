#include "logger/record_download.h"

#include <algorithm>

#include "logger/format_text.h"
#include "logger/logger_messages.h"

namespace dkq::logger {
namespace {

constexpr const char* kCsvFilter = "Arkusze CSV (*.CSV)|*.csv||";
constexpr const char* kCsvExtension = "csv";
constexpr int kBatchTries = 5;
constexpr int kMaxRereads = 4;

}  // namespace

RecordDownload::RecordDownload(LoggerSession& session, const LineTable& table)
    : session_(session), table_(table) {}

std::int64_t RecordDownload::recordsDone() const {
    return std::min(done_, recordCount_);
}

DownloadStart RecordDownload::start(const DownloadOptions& options) {
    Prompter& prompter = session_.prompter();
    if (!session_.link().IsOpen()) {
        prompter.message(text::NotConnected, MessageIcon::Exclamation);
        return DownloadStart::NotConnected;
    }
    const auto& known = session_.status();
    if (!known || known->recordCount <= 0) {
        prompter.message(text::NoRecords, MessageIcon::Exclamation);
        return DownloadStart::NoRecords;
    }
    // A record length the frames cannot carry would read past a frame or
    // never advance: such a status starts nothing.
    if (!isUsableRecordLength(*known)) {
        prompter.message(formatText(text::UnusableRecordLength, known->recordLength),
                         MessageIcon::Error);
        return DownloadStart::UnusableStatus;
    }
    const auto chosen = prompter.chooseSaveFile(kCsvFilter, kCsvExtension, fileName_);
    if (!chosen) return DownloadStart::Cancelled;
    fileName_ = *chosen;
    if (options.stream != nullptr)
        file_.create(*options.stream);
    else if (!file_.create(options.nameAsGiven ? fileName_ : withCsvExtension(fileName_))) {
        prompter.message(text::FileOpenFailed, MessageIcon::Error);
        return DownloadStart::FileError;
    }

    session_.ReadStatus();
    const StatusAnswer& status = *session_.status();
    if (!isUsableRecordLength(status)) {
        file_.discard();
        prompter.message(formatText(text::UnusableRecordLength, status.recordLength),
                         MessageIcon::Error);
        return DownloadStart::UnusableStatus;
    }
    options_ = options;
    recordCount_ = status.recordCount;
    recordLength_ = status.recordLength;
    batchSize_ = batchSize(recordLength_, session_.lineKind());
    layout_ = buildCsvLayout(status.mask, table_, options.readAsTemperatures);
    file_.writeLine(layout_.header);
    if (layout_.unitsHeader) file_.writeLine(*layout_.unitsHeader);

    done_ = 0;
    retransmissions_ = 0;
    invalidRecords_ = 0;
    rowsInFile_ = 0;
    part_ = 0;
    startTime_ = now();
    lastWritten_ = {};
    olderSkipped_ = false;
    report_.clear();
    running_ = true;
    return DownloadStart::Started;
}

DownloadStep RecordDownload::step() {
    if (!running_) return DownloadStep::Finished;
    const Batch batch{done_ + 1,
                      static_cast<int>(std::min<std::int64_t>(recordCount_, batchSize_))};
    if (!receiveBatch(batch)) return fail(DownloadStep::NoData, text::NoData, true);

    const size_t frameSize = static_cast<size_t>(recordLength_ + CrcBytes);
    const auto answer = std::span(session_.link().AnswerText);
    for (int m = 0; m < batch.count; ++m) {
        const auto frame = answer.subspan(static_cast<size_t>(m) * frameSize, frameSize);
        const std::int64_t number = batch.first + m;
        const int result = checkRecord(frame, number);
        if (result == answer::UnknownFormat)
            return fail(DownloadStep::UnknownFormat, text::RecordUnknownFormat, true);
        if (result == answer::WrongLength)
            return fail(DownloadStep::WrongLength, text::RecordWrongLength, true);
        // The last batch may reach past the last record.
        if (result == answer::EmptyFrame || number > recordCount_) continue;
        if (!takeRecord(frame, result == answer::Correct)) break;
        if (!file_.isOpen()) return fail(DownloadStep::FileError, text::FileOpenFailed, false);
    }
    if (!olderSkipped_) done_ += batch.count;
    if (!file_.flush()) return fail(DownloadStep::FileError, text::FileWriteFailed, false);
    if (batchDone_) batchDone_();
    if (done_ >= recordCount_ || olderSkipped_) return finish();
    return DownloadStep::Running;
}

void RecordDownload::abandon() {
    if (!running_) return;
    file_.close();
    running_ = false;
}

bool RecordDownload::receiveBatch(const Batch& batch) {
    const std::string command =
        formatText("*RD_%lld,%d", static_cast<long long>(batch.first), batch.count);
    const int expected = batch.count * (recordLength_ + CrcBytes);
    for (int attempt = 0; attempt < kBatchTries; ++attempt)
        if (session_.link().AsciiCommand(command, expected) >= expected) return true;
    return false;
}

// A damaged record is fetched alone again. A checksum error that survives
// one re-read is taken as an invalid record; an unrecognisable frame gets
// up to four re-reads.
int RecordDownload::checkRecord(std::span<std::uint8_t> frame, std::int64_t number) {
    const int size = recordLength_ + CrcBytes;
    int result = ValidateAnswer(frame, RecordLetter, recordLength_, size);
    for (int rereads = 0;; ++rereads) {
        if (result == answer::Correct || result == answer::EmptyFrame) return result;
        if (result == answer::ChecksumError && rereads == 1) return result;
        if (rereads == kMaxRereads) return result;
        const std::string command = formatText("*RD_%lld,1", static_cast<long long>(number));
        session_.link().AsciiCommandInto(command, size, frame);
        ++retransmissions_;
        result = ValidateAnswer(frame, RecordLetter, recordLength_, size);
    }
}

bool RecordDownload::takeRecord(std::span<const std::uint8_t> frame, bool valid) {
    const Record record = readRecord(frame);
    const bool empty = isEmptyDate(record.date);
    // In a cyclic memory the newest records come first; the first one dated
    // a day before the last row written is where the oldest ones begin. An
    // empty record has no date and says nothing about that.
    if (valid && !options_.writeInvalid && !empty &&
        isEarlierDay(decodeRecordDate(record.date), lastWritten_)) {
        done_ = recordCount_;
        olderSkipped_ = true;
        return false;
    }
    if (!valid && !empty) ++invalidRecords_;
    const bool write = options_.writeInvalid ? (valid || !empty) : (valid && !empty);
    if (write) writeRow(record, valid);
    return true;
}

void RecordDownload::writeRow(const Record& record, bool valid) {
    file_.writeLine(formatRow(record, layout_, valid));
    lastWritten_ = decodeRecordDate(record.date);
    ++rowsInFile_;
    if (options_.splitFiles && rowsInFile_ >= options_.rowsPerPart) startNextPart();
}

// Each further part starts with header line 1 only.
void RecordDownload::startNextPart() {
    ++part_;
    rowsInFile_ = 0;
    if (!file_.flush()) return;  // the write failure is reported after the batch
    file_.close();
    if (file_.create(partFileName(fileName_, part_))) file_.writeLine(layout_.header);
}

DownloadStep RecordDownload::finish() {
    const long long elapsed = static_cast<long long>(now() - startTime_);
    const long long count = recordCount_;
    report_ = elapsed == 0
                  ? formatText(text::Finished, count, elapsed, retransmissions_, invalidRecords_)
                  : formatText(text::FinishedWithRate, count, elapsed,
                               static_cast<double>(count) / static_cast<double>(elapsed),
                               retransmissions_, invalidRecords_);
    if (olderSkipped_) report_ += text::OlderRecordsSkipped;
    file_.close();
    running_ = false;
    session_.prompter().message(report_, MessageIcon::Information);
    return DownloadStep::Finished;
}

// The file is closed at once: the rows written so far are complete on disk
// while the user reads the message.
DownloadStep RecordDownload::fail(DownloadStep reason, const char* message, bool disconnect) {
    file_.close();
    running_ = false;
    session_.prompter().message(message, MessageIcon::Error);
    if (disconnect) session_.DisconnectLogger();
    return reason;
}

std::time_t RecordDownload::now() {
    std::tm local = session_.clock().localNow();
    return std::mktime(&local);
}

}  // namespace dkq::logger
