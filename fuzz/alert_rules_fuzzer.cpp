// SPDX-License-Identifier: GPL-3.0-or-later
// The collector's alert rules file: a file that reads gives rules within
// their bounds, one that does not names a line and a column; every rule's
// e-mail is 7-bit with lines within their bounds, and its JSON escapes
// what the name holds.
#include <algorithm>
#include <regex>

#include "collector/alerts/alert_messages.h"
#include "collector/alerts/alert_rules.h"
#include "fuzz/fuzz_check.h"

using namespace dkq::collector;
using dkq::fuzz::check;

namespace {

// Lines within RFC 5322's bounds: 998 characters, 78 for the Subject's
// (all ours), 76 for a quoted-printable body's.
void checkMail(const std::string& mail) {
    const std::size_t body = mail.find("\r\n\r\n");
    bool subject = false;
    for (std::size_t start = 0, end; start < mail.size(); start = end + 2) {
        end = mail.find("\r\n", start);
        check(end != std::string::npos, "CR LF line ends");
        const std::string_view line(mail.data() + start, end - start);
        subject = line.starts_with("Subject: ") || (subject && line.starts_with(' '));
        check(line.size() <= (start > body ? 76 : subject ? 78 : 998), "short lines");
        check(std::none_of(line.begin(), line.end(), [](char c) { return c & 0x80; }), "7-bit");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto rules = readAlertRules(text, error);
    if (const auto duration = readDuration(text)) check(*duration <= MaxRuleDurationMs, "bounded");
    if (!rules) {
        check(error.starts_with("line ") && error.find(", column ") != std::string::npos,
              "a fault has its place");
        return 0;
    }
    for (const AlertRule& rule : rules->rules) {
        check(!rule.name.empty() && rule.name.size() <= MaxRuleNameBytes, "a name");
        check(rule.allUids != !rule.uids.empty() &&
                  std::is_sorted(rule.uids.begin(), rule.uids.end()),
              "all uids or some, in order");
        check(rule.onSilence() ? (rule.silentMs > 0) != (rule.silentIntervals > 0)
                               : (rule.above || rule.below) && rule.position <= MaxRulePosition &&
                                     (!rule.above || !rule.below || *rule.below <= *rule.above),
              "one condition");
        const std::optional<double> value = rule.onSilence() ? std::nullopt : std::optional(21.5);
        const AlertChange change{{rule.name, 1021, rule.position, value, 0}, true, "21.5", 0};
        checkMail(alertMail(change, rules->from, "a@b", 0));
        // Escaped characters left out, the name's quotes are no more.
        const std::string json =
            std::regex_replace(alertJson(change.alert, true), std::regex(R"(\\.)"), "");
        check(std::count(json.begin(), json.end(), '"') == (rule.onSilence() ? 14 : 18),
              "a name's quotes escaped");
    }
    return 0;
}
