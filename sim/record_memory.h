// The simulated module's record memory: dated records logged at a period,
// read with the text commands of the record memory reader after the wake-up
// line, with options for a wrapped cyclic buffer, empty and damaged records.
//
// Record contents are a fixed function of the record's sequence number q
// (1 for the oldest record ever logged):
//   bytes 2-5   q
//   date        start + (q - 1) × period (records logged while running: the
//               module clock at that moment)
//   item k      (1000 × k + q) mod 65536, for each logged item in rising order
// Without a wrap slot s (the number the reader asks for) holds q = s. A
// cyclic memory of N records wrapped at W holds the newest records in slots
// 1..W (q = N + s) and the older ones after them (q = s).
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "logger/record_frame.h"
#include "sim/sim_time.h"
#include "sim/text_command_peer.h"

namespace dkq::sim {

using CivilTime = std::chrono::sys_seconds;  // the module's wall clock, no time zone

struct RecordMemorySettings {
    int recordCount = 0;
    logger::LoggedItemMask mask{0x0F, 0, 0, 0, 0};  // L1-L4
    int periodSeconds = 60;
    bool loggingOn = false;
    bool cyclicBuffer = false;
    int wrapAt = 0;  // 0: no wrap; W: slots 1..W hold the newest records
    CivilTime firstRecordDate = std::chrono::sys_days{std::chrono::year{2024} / 3 / 1};
    std::optional<CivilTime> moduleClock;  // default: one period after the newest record
    std::set<int> zeroDated;               // records whose date bytes are all zero (CRC correct)
    std::set<int> erased;                  // records whose bytes after the length are all 0xFF
    // Record -> number of its first reads that are damaged (-1: every read).
    std::map<int, int> badChecksum;
    std::map<int, int> badLetter;
};

class RecordMemory : public TextCommandPeer {
  public:
    static constexpr int RecordsPerBlock = 16;
    static constexpr int BlockCount = 4096;
    static constexpr int MaxRecordsPerRead = 250;

    RecordMemory(const RecordMemorySettings& settings, TimePoint start);

    std::string answerTextCommand(std::string_view command) override;
    void wakeUp() override { awake_ = true; }

    // The same at a given time (tests).
    std::string answerAt(std::string_view command, TimePoint now);

  private:
    struct Slot {
        std::uint32_t sequence;
        CivilTime date;
    };

    std::string statusFrame(TimePoint now) const;
    std::string recordFrames(int first, int count);
    std::string recordFrame(int number);
    std::string emptyFrame() const;
    std::string setClock(std::string_view arguments, TimePoint now);
    std::string setLogging(std::string_view arguments, TimePoint now);
    void clear();
    void logDueRecords(TimePoint now);
    CivilTime clockAt(TimePoint now) const;
    int capacity() const;
    int recordLength() const;
    bool isDamagedRead(const std::map<int, int>& damage, int number) const;

    RecordMemorySettings settings_;
    std::vector<Slot> slots_;
    size_t nextSlot_ = 0;  // where the next logged record goes
    std::uint32_t lastSequence_ = 0;
    int fixedCapacity_ = 0;  // a wrapped memory holds exactly its records
    CivilTime clockBase_;
    TimePoint clockSetAt_;
    TimePoint nextLogAt_;
    std::map<int, int> reads_;  // record number -> times sent
    bool awake_ = false;
};

// Takes the --rec-* options out of args and returns the others. An error
// text is set for a malformed one.
std::vector<std::string_view> takeRecordMemoryOptions(const std::vector<std::string_view>& args,
                                                      RecordMemorySettings& settings,
                                                      std::string& error);

std::string recordMemoryUsage();

}  // namespace dkq::sim
