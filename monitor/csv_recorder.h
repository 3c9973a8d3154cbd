// The CSV recorder of both monitors: a two-line header per START (and per
// part file) and one line per record, in Windows-1250 with CR LF, ";" after every cell. The file
// is opened for each write and closed right after, so a spreadsheet may read
// it meanwhile. Optionally split into part files _000.._999 of a fixed number
// of records each.
//
// A record whose file cannot be written (held open elsewhere, a full disk) is
// kept and written, in order, as soon as its file can be written again,
// before any newer record. Waiting records are bounded; past the bound the
// oldest are dropped and counted.
#pragma once

#include <cstddef>
#include <ctime>
#include <deque>
#include <string>

namespace dkq {

inline constexpr int DefaultRecordsPerPart = 43200;
inline constexpr int MaxPartNumber = 999;
inline constexpr std::size_t DefaultMaxWaitingRecords = 100000;

// The file name field with ".csv" appended when it holds neither ".csv" nor ".CSV".
std::string baseFileName(const std::string& fileNameField);
// The base name with its first ".csv" (else its first ".CSV") and the rest
// replaced by "_%03d.csv"; unchanged when it holds neither.
std::string makePartPath(const std::string& baseName, int partNumber);
// "Lp;date time;row\n"; the row arrives complete with its separators.
std::string csvRecordLine(int savedCount, const std::tm& time, const std::string& row);
// Closing with records that still cannot be written to their file.
std::string lostRecordsText(std::size_t count);

class CsvRecorder {
  public:
    explicit CsvRecorder(int recordsPerPart = DefaultRecordsPerPart,
                         std::size_t maxWaitingRecords = DefaultMaxWaitingRecords);

    // Latches the split option, writes the header (UTF-8, "\n" line ends) to
    // the first file; false when it cannot be written (recording does not start).
    bool startRecording(const std::string& fileNameField, bool split, const std::string& header);
    // Writes one record, after the header when a part file starts or the
    // header differs from the last one written (the modules recorded or
    // their columns changed), so that every column means what its header says.
    void record(int savedCount, const std::tm& time, const std::string& row,
                const std::string& header);
    // Tries the waiting records once more (at STOP).
    void retryWaiting();

    const std::string& currentPath() const { return currentPath_; }
    bool splitting() const { return splitting_; }
    std::size_t waitingRecords() const { return waitingRecords_; }
    long long droppedRecords() const { return droppedRecords_; }
    // Records of this run that are not in their file: still waiting, or
    // dropped past the bound.
    std::size_t lostRecords() const {
        return waitingRecords_ + static_cast<std::size_t>(droppedRecords_);
    }

  private:
    struct PendingWrite {
        std::string path;
        bool startsFile = false;  // a part file starts afresh with this write
        bool isRecord = false;
        std::string bytes;
    };

    void enqueue(PendingWrite write);
    void dropOldestRecord();
    void writeWaiting();
    bool isWaiting(const std::string& path) const;

    int recordsPerPart_;
    std::size_t maxWaitingRecords_;
    std::string baseName_;
    std::string currentPath_;
    std::string header_;  // the last header written (or waiting)
    bool splitting_ = false;
    int partNumber_ = 0;
    int recordsInPart_ = 0;
    std::deque<PendingWrite> waiting_;
    std::size_t waitingRecords_ = 0;
    long long droppedRecords_ = 0;
};

}  // namespace dkq
