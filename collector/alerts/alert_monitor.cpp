// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/alerts/alert_monitor.h"

#include <algorithm>
#include <cstdio>

#include "collector/alerts/alert_messages.h"
#include "collector/base/instant.h"

namespace dkq::collector {

AlertMonitor::AlertMonitor(AlertRules&& rules, ReadingStore& store)
    : store_(store),
      state_(store.alertState()),
      notifier_(std::move(rules.smtp), std::move(rules.from)),
      evaluator_(std::move(rules.rules)) {}

std::unique_ptr<AlertMonitor> AlertMonitor::start(AlertRules rules, ReadingStore& store,
                                                  std::string& error) {
    std::unique_ptr<AlertMonitor> monitor(new AlertMonitor(std::move(rules), store));
    std::vector<Alert> fired;
    if (!monitor->state_.listFiring(fired)) {
        error = "the alerts that fire could not be read from the database";
        return nullptr;
    }
    for (const Alert& alert : fired) {
        bool ended = false;
        // No rule watches it any more: forgotten without a word.
        if (!monitor->evaluator_.restore(alert)) monitor->state_.endFiring(alert, ended);
    }
    monitor->checkSilence();
    monitor->thread_ = std::thread([monitor = monitor.get()] { monitor->run(); });
    return monitor;
}

AlertMonitor::~AlertMonitor() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void AlertMonitor::readingsStored(std::span<const NewReading> batch) {
    {
        std::lock_guard lock(mutex_);
        const std::size_t before = changes_.size();
        evaluator_.readingsStored(batch, changes_);
        if (changes_.size() > MaxPendingChanges) {
            std::fprintf(stderr, "dkq-collector: %zu alert changes not recorded: too many wait\n",
                         changes_.size() - MaxPendingChanges);
            changes_.resize(MaxPendingChanges);
        }
        if (changes_.size() == before) return;
    }
    wake_.notify_one();
}

std::string AlertMonitor::firingJson() {
    std::lock_guard lock(mutex_);
    return collector::firingJson(evaluator_.firing());
}

void AlertMonitor::appendMetrics(std::string& out, std::span<const SiteSummary> sites) {
    std::lock_guard lock(mutex_);
    appendAlertMetrics(out, evaluator_.rules(), sites, evaluator_.firing());
}

void AlertMonitor::run() {
    auto nextCheck = std::chrono::steady_clock::now() + SilenceCheckEvery;
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        wake_.wait_until(lock, nextCheck, [this] { return stopping_ || !changes_.empty(); });
        if (stopping_) break;
        std::vector<AlertChange> changes;
        changes.swap(changes_);
        lock.unlock();
        record(changes);
        if (std::chrono::steady_clock::now() >= nextCheck) {
            checkSilence();
            nextCheck = std::chrono::steady_clock::now() + SilenceCheckEvery;
        }
        lock.lock();
    }
}

void AlertMonitor::checkSilence() {
    // Records the database did not take are tried again first, in order.
    while (!unsaved_.empty()) {
        bool changed = false;
        if (!write(unsaved_.front(), changed)) break;
        unsaved_.pop_front();
    }
    std::vector<SiteSummary> sites;
    if (!store_.listSites(sites) || !addIntervals(sites)) return;  // the store said why
    std::vector<AlertChange> changes;
    {
        std::lock_guard lock(mutex_);
        evaluator_.checkSilence(sites, nowMs(), changes);
    }
    record(changes);
}

// The usual interval of each site a rule on silence counts in intervals:
// read again when the site has new readings and what is known is old.
bool AlertMonitor::addIntervals(std::vector<SiteSummary>& sites) {
    const std::int64_t now = nowMs();
    for (SiteSummary& site : sites) {
        const bool counted = std::any_of(
            evaluator_.rules().begin(), evaluator_.rules().end(), [&](const AlertRule& rule) {
                return rule.silentIntervals > 0 && rule.watches(site.uid);
            });
        if (!counted) continue;
        KnownInterval& known = intervals_[site.uid];
        if (known.readings != site.readings &&
            (known.intervalMs == 0 || now - known.readMs >= IntervalRefreshMs)) {
            if (!readUsualInterval(store_, site.uid, known.intervalMs)) return false;
            known.readings = site.readings;
            known.readMs = now;
        }
        site.intervalMs = known.intervalMs;
    }
    return true;
}

// Recorded, then told: an alert whose record was there already (another
// collector's) is that collector's to tell. One the database did not take
// is told all the same, and recorded later.
void AlertMonitor::record(const std::vector<AlertChange>& changes) {
    for (const AlertChange& change : changes) {
        bool changed = false;
        const bool written = unsaved_.empty() && write(change, changed);
        if (!written && unsaved_.size() < MaxPendingChanges) unsaved_.push_back(change);
        if (written && !changed) continue;
        const auto& rules = evaluator_.rules();
        const auto rule = std::find_if(rules.begin(), rules.end(), [&](const AlertRule& r) {
            return r.name == change.alert.rule;
        });
        if (rule != rules.end()) notifier_.send(change, rule->notify);
    }
}

bool AlertMonitor::write(const AlertChange& change, bool& changed) {
    return change.firing ? state_.claimFiring(change.alert, changed)
                         : state_.endFiring(change.alert, changed);
}

}  // namespace dkq::collector
