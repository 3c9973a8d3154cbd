// SPDX-License-Identifier: GPL-3.0-or-later
// What the alerts say: the JSON of a webhook and of /api/alerts, the
// e-mail, and the lines of /metrics. Pure functions.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "collector/alerts/alert_evaluation.h"

namespace dkq::collector {

// {"rule":"kocioł za gorący","state":"firing","uid":1021,"position":1,
//  "value":31.5,"time":"2026-12-07T08:50:50.540Z"}; position and value only
// for a rule on a value.
std::string alertJson(const Alert& alert, bool firing);
// The alerts firing now as a JSON array of the same objects.
std::string firingJson(std::span<const Alert> alerts);

// dkq_alert_firing{rule="...",uid="1021"} 1 or 0, for every rule and every
// site it watches.
void appendAlertMetrics(std::string& out, std::span<const AlertRule> rules,
                        std::span<const SiteSummary> sites, std::span<const Alert> firing);

// A whole message for SMTP, CR LF line ends: Date (nowMs), From, To, a
// Subject naming the rule and the site ("Alarm: ...", "Koniec alarmu: ...",
// encoded for UTF-8) and a plain-text body in Polish with the site's newest
// reading and its time, quoted-printable.
std::string alertMail(const AlertChange& change, const std::string& from, const std::string& to,
                      std::int64_t nowMs);

}  // namespace dkq::collector
