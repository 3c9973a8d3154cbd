// Downloading the record memory into CSV files, one batch of records per
// step so that a window can repaint and show progress between the steps.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "logger/csv_export.h"
#include "logger/line_table.h"
#include "logger/logger_session.h"

namespace dkq::logger {

struct DownloadOptions {
    bool readAsTemperatures = false;  // "Odczytaj jako temperatury"
    bool splitFiles = true;           // "Podział na mniejsze pliki"
    bool writeInvalid = false;        // "Zapisuj błęd. rekordy"
    int rowsPerPart = 60000;          // rows after which a split file goes on in a new part
    bool nameAsGiven = false;         // no ".csv" added to a name without it (dkq)
    std::ostream* stream = nullptr;   // the rows go here instead of into a file (dkq's "-")
};

enum class DownloadStart { Started, NotConnected, NoRecords, UnusableStatus, Cancelled, FileError };

enum class DownloadStep {
    Running,
    Finished,       // all records done, the final report shown
    NoData,         // a batch did not arrive; the line was closed
    UnknownFormat,  // a record stayed unrecognisable; the line was closed
    WrongLength,    // a record stayed of wrong length; the line was closed
    FileError       // a file could not be created or written
};

class RecordDownload {
  public:
    RecordDownload(LoggerSession& session, const LineTable& table);

    // "Odczytaj dane": asks for the file, refreshes the status, writes the
    // header. Shows a message for anything but Started.
    DownloadStart start(const DownloadOptions& options);
    // One batch. After anything but Running the download is over and its
    // file closed; the rows written stay.
    DownloadStep step();
    // Ends a running download where it stands (the program is closing): its
    // file is closed with every row written so far.
    void abandon();
    // Called after every batch, the last one too before the final message
    // shows: a window shows the progress (all records done) meanwhile.
    void setBatchDone(std::function<void()> listener) { batchDone_ = std::move(listener); }

    bool running() const { return running_; }
    std::int64_t recordsDone() const;                          // for the progress bar
    std::int64_t recordCount() const { return recordCount_; }  // its range
    const std::string& report() const { return report_; }      // the final message
    // The file chosen last, offered again by the next start.
    const std::string& fileName() const { return fileName_; }
    // The file written last: its path, and why it failed.
    const CsvFile& file() const { return file_; }

  private:
    struct Batch {
        std::int64_t first = 0;
        int count = 0;
    };
    bool receiveBatch(const Batch& batch);
    int checkRecord(std::span<std::uint8_t> frame, std::int64_t number);
    // Handles one record of the batch; false when the older-records stop ends it.
    bool takeRecord(std::span<const std::uint8_t> frame, bool valid);
    void writeRow(const Record& record, bool valid);
    void startNextPart();
    DownloadStep finish();
    DownloadStep fail(DownloadStep reason, const char* message, bool disconnect);
    std::time_t now();

    LoggerSession& session_;
    const LineTable& table_;
    DownloadOptions options_;
    CsvLayout layout_;
    CsvFile file_;
    std::string fileName_;
    std::string report_;
    bool running_ = false;
    std::function<void()> batchDone_;

    std::int64_t recordCount_ = 0;  // N
    int recordLength_ = 0;          // L
    int batchSize_ = 0;
    std::int64_t done_ = 0;
    int retransmissions_ = 0;
    int invalidRecords_ = 0;
    int rowsInFile_ = 0;
    int part_ = 0;
    std::time_t startTime_ = 0;
    RecordDate lastWritten_{};
    bool olderSkipped_ = false;
};

}  // namespace dkq::logger
