// SPDX-License-Identifier: GPL-3.0-or-later
// Which alerts begin and end: rules on values follow the readings' own
// times, rules on silence the collector's clock against each site's newest
// reading. Pure: readings, sites and times in, changes out; each episode
// begins once and ends once.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "collector/alerts/alert_rules.h"
#include "collector/base/reading.h"
#include "collector/store/alert_state_store.h"

namespace dkq::collector {

// An alert that began (firing) or ended, with the site's newest reading.
struct AlertChange {
    Alert alert;
    bool firing = false;
    std::string data;
    std::int64_t readingTimeMs = 0;
};

class AlertEvaluator {
  public:
    explicit AlertEvaluator(std::vector<AlertRule> rules);

    const std::vector<AlertRule>& rules() const { return rules_; }
    // An alert that fired before the collector started; false when no rule
    // of these watches its site (a rule renamed or narrowed meanwhile).
    bool restore(const Alert& alert);
    // A rule on a value begins when its condition held from one reading of a
    // site to a later one at least its `for` after, and ends at the first
    // reading without it. A reading no newer than the site's last one seen
    // is passed over: it cannot change what happened since.
    void readingsStored(std::span<const NewReading> batch, std::vector<AlertChange>& changes);
    // A rule on silence begins when a site's newest reading is older than
    // its silent_after at nowMs (time: the newest reading's plus that) and
    // ends with a newer reading (time: that reading's). Counted in intervals,
    // it needs the site's intervalMs; without one the site is left as it is.
    void checkSilence(std::span<const SiteSummary> sites, std::int64_t nowMs,
                      std::vector<AlertChange>& changes);
    // What fires now, by rule (in the file's order) and uid.
    std::vector<Alert> firing() const;

  private:
    struct Watch {
        std::int64_t heldSinceMs = -1;  // the condition holds since; -1: it does not
        std::int64_t lastTimeMs = -1;   // the newest reading seen
        bool firing = false;
        Alert alert;
    };
    void change(Watch& watch, Alert alert, bool firing, const std::string& data,
                std::int64_t readingTimeMs, std::vector<AlertChange>& changes);

    std::vector<AlertRule> rules_;
    std::vector<std::map<std::int32_t, Watch>> watches_;  // by rule, then uid
};

}  // namespace dkq::collector
