// SPDX-License-Identifier: GPL-3.0-or-later
// The collector's alerts at work: rules on values are evaluated as readings
// are committed, rules on silence every second against the database; each
// alert that begins or ends is recorded in the database and handed to the
// notifier. Safe to call from any thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "collector/alerts/alert_evaluation.h"
#include "collector/alerts/notifier.h"
#include "collector/store/reading_store.h"

namespace dkq::collector {

inline constexpr std::chrono::milliseconds SilenceCheckEvery{1000};
// A site's usual interval is read again after this long, once it has more readings.
inline constexpr std::int64_t IntervalRefreshMs = 60'000;
// Changes evaluated and not yet recorded, and records the database did not take.
inline constexpr std::size_t MaxPendingChanges = 10'000;

class AlertMonitor {
  public:
    // Takes up the alerts recorded as firing, checks every site's silence
    // once, then watches on a thread of its own. Nothing, with the reason in
    // `error`, when the database cannot be read.
    static std::unique_ptr<AlertMonitor> start(AlertRules rules, ReadingStore& store,
                                               std::string& error);
    ~AlertMonitor();
    AlertMonitor(const AlertMonitor&) = delete;
    AlertMonitor& operator=(const AlertMonitor&) = delete;

    // From the commit's writers, after the batch was stored and its uploads
    // answered.
    void readingsStored(std::span<const NewReading> batch);
    // What fires now, for /api/alerts.
    std::string firingJson();
    void appendMetrics(std::string& out, std::span<const SiteSummary> sites);

  private:
    struct KnownInterval {
        std::int64_t readings = -1;
        std::int64_t intervalMs = 0;
        std::int64_t readMs = 0;
    };
    AlertMonitor(AlertRules&& rules, ReadingStore& store);
    void run();
    void checkSilence();
    bool addIntervals(std::vector<SiteSummary>& sites);
    void record(const std::vector<AlertChange>& changes);
    bool write(const AlertChange& change, bool& changed);

    ReadingStore& store_;
    AlertStateStore& state_;
    Notifier notifier_;
    std::mutex mutex_;  // guards the evaluator, the changes and stopping_
    AlertEvaluator evaluator_;
    std::vector<AlertChange> changes_;
    bool stopping_ = false;
    std::condition_variable wake_;
    // Only the monitor's thread uses these.
    std::deque<AlertChange> unsaved_;
    std::map<std::int32_t, KnownInterval> intervals_;
    std::thread thread_;
};

}  // namespace dkq::collector
