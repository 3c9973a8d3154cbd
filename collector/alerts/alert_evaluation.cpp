// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/alerts/alert_evaluation.h"

#include <algorithm>
#include <cmath>

namespace dkq::collector {

AlertEvaluator::AlertEvaluator(std::vector<AlertRule> rules)
    : rules_(std::move(rules)), watches_(rules_.size()) {}

bool AlertEvaluator::restore(const Alert& alert) {
    for (std::size_t r = 0; r < rules_.size(); ++r) {
        if (rules_[r].name != alert.rule) continue;
        if (!rules_[r].watches(alert.uid)) return false;
        Watch& watch = watches_[r][alert.uid];
        watch.firing = true;
        watch.alert = alert;
        return true;
    }
    return false;
}

void AlertEvaluator::readingsStored(std::span<const NewReading> batch,
                                    std::vector<AlertChange>& changes) {
    std::vector<const NewReading*> inTimeOrder;
    for (const NewReading& reading : batch) inTimeOrder.push_back(&reading);
    std::stable_sort(
        inTimeOrder.begin(), inTimeOrder.end(),
        [](const NewReading* a, const NewReading* b) { return a->timeMs < b->timeMs; });
    for (const NewReading* reading : inTimeOrder) {
        for (std::size_t r = 0; r < rules_.size(); ++r) {
            const AlertRule& rule = rules_[r];
            if (rule.onSilence() || !rule.watches(reading->uid) ||
                reading->values.size() < static_cast<std::size_t>(rule.position))
                continue;
            Watch& watch = watches_[r][reading->uid];
            if (reading->timeMs <= watch.lastTimeMs) continue;
            watch.lastTimeMs = reading->timeMs;
            const double value = reading->values[static_cast<std::size_t>(rule.position) - 1];
            const bool holds =
                (rule.above && value > *rule.above) || (rule.below && value < *rule.below);
            if (!holds)
                watch.heldSinceMs = -1;
            else if (watch.heldSinceMs < 0)
                watch.heldSinceMs = reading->timeMs;
            if (holds == watch.firing ||
                (holds && reading->timeMs - watch.heldSinceMs < rule.forMs))
                continue;
            change(watch, {rule.name, reading->uid, rule.position, value, reading->timeMs}, holds,
                   reading->data, reading->timeMs, changes);
        }
    }
}

void AlertEvaluator::checkSilence(std::span<const SiteSummary> sites, std::int64_t nowMs,
                                  std::vector<AlertChange>& changes) {
    for (std::size_t r = 0; r < rules_.size(); ++r) {
        const AlertRule& rule = rules_[r];
        if (!rule.onSilence()) continue;
        for (const SiteSummary& site : sites) {
            if (!rule.watches(site.uid)) continue;
            const std::int64_t limitMs =
                rule.silentMs > 0
                    ? rule.silentMs
                    : std::llround(rule.silentIntervals * static_cast<double>(site.intervalMs));
            if (limitMs <= 0) continue;
            Watch& watch = watches_[r][site.uid];
            const std::int64_t newestMs = site.last.key.timeMs;
            const bool silent = nowMs - newestMs > limitMs;
            if (silent == watch.firing) continue;
            change(watch,
                   {rule.name, site.uid, 0, std::nullopt, silent ? newestMs + limitMs : newestMs},
                   silent, site.last.data, newestMs, changes);
        }
    }
}

std::vector<Alert> AlertEvaluator::firing() const {
    std::vector<Alert> alerts;
    for (const auto& bySite : watches_) {
        for (const auto& [uid, watch] : bySite)
            if (watch.firing) alerts.push_back(watch.alert);
    }
    return alerts;
}

void AlertEvaluator::change(Watch& watch, Alert alert, bool firing, const std::string& data,
                            std::int64_t readingTimeMs, std::vector<AlertChange>& changes) {
    watch.firing = firing;
    watch.alert = alert;
    changes.push_back({std::move(alert), firing, data, readingTimeMs});
}

}  // namespace dkq::collector
