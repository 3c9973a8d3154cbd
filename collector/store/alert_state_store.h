// SPDX-License-Identifier: GPL-3.0-or-later
// The alerts that fire, kept in the readings' database (one row per rule and
// site) so that a restarted collector neither repeats an alert nor forgets
// to end it. Collectors that share a database record each alert once; the
// one whose record went in is the one that tells people.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dkq::collector {

// A rule's alert for one site: when it began or ended (milliseconds since
// 1970-01-01 00:00 UTC) and, for a rule on a value, the value's position
// (from 1) and the value then. Position 0 and no value: a rule on silence.
struct Alert {
    std::string rule;
    std::int32_t uid = 0;
    int position = 0;
    std::optional<double> value;
    std::int64_t timeMs = 0;
};

// Safe to call from any thread; none throws.
class AlertStateStore {
  public:
    virtual ~AlertStateStore() = default;

    // Every alert recorded as firing, by rule and uid.
    virtual bool listFiring(std::vector<Alert>& alerts) = 0;
    // Records the alert as firing; `claimed` is false when its rule and site
    // were recorded already.
    virtual bool claimFiring(const Alert& alert, bool& claimed) = 0;
    // Removes the record of the alert's rule and site; `ended` is false when
    // there was none.
    virtual bool endFiring(const Alert& alert, bool& ended) = 0;
};

}  // namespace dkq::collector
