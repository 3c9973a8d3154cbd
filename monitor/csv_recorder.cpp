#include "monitor/csv_recorder.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "common/text.h"
#include "common/text_file.h"

namespace dkq {

std::string baseFileName(const std::string& fileNameField) {
    if (fileNameField.find(".csv") != std::string::npos ||
        fileNameField.find(".CSV") != std::string::npos)
        return fileNameField;
    return fileNameField + ".csv";
}

std::string makePartPath(const std::string& baseName, int partNumber) {
    std::size_t extension = baseName.find(".csv");
    if (extension == std::string::npos) extension = baseName.find(".CSV");
    if (extension == std::string::npos) return baseName;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%03d.csv", partNumber);
    return baseName.substr(0, extension) + suffix;
}

std::string csvRecordLine(int savedCount, const std::tm& time, const std::string& row) {
    return std::to_string(savedCount) + ";" + formatDateTime(time) + ";" + row + "\n";
}

CsvRecorder::CsvRecorder(int recordsPerPart, std::size_t maxWaitingRecords)
    : recordsPerPart_(recordsPerPart), maxWaitingRecords_(maxWaitingRecords) {}

bool CsvRecorder::startRecording(const std::string& fileNameField, bool split,
                                 const std::string& header) {
    baseName_ = baseFileName(fileNameField);
    splitting_ = split;
    partNumber_ = 0;
    recordsInPart_ = 0;
    droppedRecords_ = 0;
    currentPath_ = split ? makePartPath(baseName_, 0) : baseName_;
    header_ = header;
    enqueue({currentPath_, split, false, encodeTextFile(header)});
    writeWaiting();
    if (!isWaiting(currentPath_)) return true;
    // The header that could not be written is the newest write: recording
    // does not start, so it is not kept.
    waiting_.pop_back();
    return false;
}

void CsvRecorder::record(int savedCount, const std::tm& time, const std::string& row,
                         const std::string& header) {
    if (splitting_ && recordsInPart_ >= recordsPerPart_) {
        recordsInPart_ = 0;
        partNumber_ = partNumber_ >= MaxPartNumber ? 0 : partNumber_ + 1;
        currentPath_ = makePartPath(baseName_, partNumber_);
        enqueue({currentPath_, true, false, encodeTextFile(header)});
    } else if (header != header_) {
        enqueue({currentPath_, false, false, encodeTextFile(header)});
    }
    header_ = header;
    enqueue({currentPath_, false, true, encodeTextFile(csvRecordLine(savedCount, time, row))});
    writeWaiting();
    ++recordsInPart_;
}

void CsvRecorder::retryWaiting() {
    writeWaiting();
}

void CsvRecorder::enqueue(PendingWrite write) {
    if (write.isRecord) ++waitingRecords_;
    waiting_.push_back(std::move(write));
    if (waitingRecords_ > maxWaitingRecords_) dropOldestRecord();
}

void CsvRecorder::dropOldestRecord() {
    const auto oldest = std::find_if(waiting_.begin(), waiting_.end(),
                                     [](const PendingWrite& write) { return write.isRecord; });
    waiting_.erase(oldest);
    --waitingRecords_;
    ++droppedRecords_;
}

// Writes what waits, file by file in order. A run of writes to one file goes
// out in one opening; a file that cannot be written keeps its writes, in
// order, while the writes of other files go on.
void CsvRecorder::writeWaiting() {
    std::set<std::string> blocked;
    std::deque<PendingWrite> remaining;
    while (!waiting_.empty()) {
        const std::string path = waiting_.front().path;
        const bool startsFile = waiting_.front().startsFile;
        std::size_t runLength = 1;
        while (runLength < waiting_.size() && waiting_[runLength].path == path &&
               !waiting_[runLength].startsFile)
            ++runLength;
        bool written = false;
        if (!blocked.contains(path)) {
            std::string bytes;
            for (std::size_t i = 0; i < runLength; ++i) bytes += waiting_[i].bytes;
            written = startsFile ? startFile(path, bytes) : appendToFile(path, bytes);
            if (!written) blocked.insert(path);
        }
        for (std::size_t i = 0; i < runLength; ++i) {
            if (written && waiting_.front().isRecord) --waitingRecords_;
            if (!written) remaining.push_back(std::move(waiting_.front()));
            waiting_.pop_front();
        }
    }
    waiting_ = std::move(remaining);
}

bool CsvRecorder::isWaiting(const std::string& path) const {
    return std::any_of(waiting_.begin(), waiting_.end(),
                       [&](const PendingWrite& write) { return write.path == path; });
}

std::string lostRecordsText(std::size_t count) {
    return "Utracono pomiary, których nie udało się zapisać do pliku: " + std::to_string(count) +
           ".";
}

}  // namespace dkq
